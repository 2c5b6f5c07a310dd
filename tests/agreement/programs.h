// Running vhdx-inspect and the independent tools it is compared with
// (qemu-img, vhdiinfo, sgdisk), and scratch directories for their files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "testsupport/program_run.h"
#include "testsupport/scratch_directory.h"

namespace agreement {

using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

// Runs `program` (a path) with `arguments`, without a shell.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// The vhdx-inspect binary under test: $VHDX_INSPECT when set, else the one
// this build made.
std::string VhdxInspectPath();
ProgramRun RunVhdxInspect(const std::vector<std::string>& arguments);

// Where `name` is installed: on PATH, or in /usr/sbin or /sbin (sgdisk lives
// there and an ordinary user's PATH may not hold them). Empty when it is not.
std::optional<std::string> FindProgram(const std::string& name);

}  // namespace agreement
