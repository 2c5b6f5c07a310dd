// Runs the built vhdx-inspect binary and captures what a user sees: the whole
// standard output, the standard error and the exit status.
#pragma once

#include <string>
#include <vector>

#include "testsupport/program_run.h"
#include "testsupport/scratch_directory.h"
#include "testsupport/unprivileged.h"

namespace e2e {

using ToolRun = testsupport::ProgramRun;
using testsupport::ScratchDirectory;

// Runs the tool with `arguments` (without the program name).
ToolRun RunTool(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits = {});

// Runs the tool as an ordinary user, for whom permissions hold: as root, as
// testsupport::UnprivilegedAccount() after `files` was handed over to it.
ToolRun RunToolAsOrdinaryUser(const ScratchDirectory& files, const std::vector<std::string>& arguments);

}  // namespace e2e
