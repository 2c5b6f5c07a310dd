// Runs the program under test and captures what a user sees: the whole
// standard output, the standard error and the exit status.
//
// The program under test is the Linux build, or the Windows build when the
// environment variable VHDX_INSPECT_EXE names its vhdx-inspect.exe: the same
// tests then run it under wine (VHDX_WINE names wine when it is not "wine" on
// the PATH; WINEPREFIX is taken from the environment). The Windows program's
// lines must end with CR LF; RunTool checks that on every run and hands the
// tests the text with LF line ends. Where the Windows program legitimately
// prints something else, platform_expectations.h says what and why.
#pragma once

#include <string>
#include <vector>

#include "support/program_run.h"
#include "support/scratch_directory.h"
#include "support/unprivileged.h"

namespace e2e {

using ToolRun = testsupport::ProgramRun;
using testsupport::ScratchDirectory;

// True when the Windows program is under test.
bool WindowsProgramUnderTest();

// The command that starts the program under test, before its arguments.
std::vector<std::string> ToolCommand();

// Runs the tool with `arguments` (without the program name).
ToolRun RunTool(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits = {});

// Runs the tool as an ordinary user, for whom permissions hold: as root, as
// testsupport::UnprivilegedAccount() after `files` was handed over to it.
ToolRun RunToolAsOrdinaryUser(const ScratchDirectory& files, const std::vector<std::string>& arguments);

}  // namespace e2e
