// Running vhdx-inspect and the independent tools it is compared with
// (qemu-img, vhdiinfo, sgdisk), and scratch directories for their files. A
// tool is found with RequireTool: skipped with the reason when missing, a
// failure in CI.
#pragma once

#include <string>
#include <vector>

#include "support/program_run.h"
#include "support/required_tool.h"
#include "support/scratch_directory.h"

namespace agreement {

using testsupport::ProgramRun;
using testsupport::RequireTool;
using testsupport::ScratchDirectory;

// Runs `program` (a path) with `arguments`, without a shell.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// The vhdx-inspect binary under test: $VHDX_INSPECT when set, else the one
// this build made.
std::string VhdxInspectPath();
ProgramRun RunVhdxInspect(const std::vector<std::string>& arguments);

}  // namespace agreement
