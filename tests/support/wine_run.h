// The program under test, run as a user would: the Linux build, or the
// Windows build under wine. Under wine, every line the program writes must
// end with CR LF (checked here; the run is handed back with LF line ends),
// and a run that one of wine's own two known failures ended, and only such a
// run, is started once more and counted.
#pragma once

#include <string>
#include <vector>

#include "support/program_run.h"

namespace testsupport {

struct ProgramUnderTest {
  std::string linuxProgram;  // the built program
  std::string windowsExe;    // the .exe to run under wine instead, when not empty
};

// The command that starts it, before its arguments: under wine with a UTF-8
// locale, so that wine reads Unix names and the command line as UTF-8 and
// hands the program code page 1252, and without wine's own messages.
std::vector<std::string> CommandOf(const ProgramUnderTest& program);

ProgramRun RunUnderTest(const ProgramUnderTest& program, const std::vector<std::string>& arguments,
                        const RunLimits& limits = {});

}  // namespace testsupport
