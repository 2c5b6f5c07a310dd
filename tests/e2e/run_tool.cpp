#include "run_tool.h"

#include <cstdlib>

#include "support/wine_run.h"

namespace e2e {
namespace {

// The Windows program to run under wine, or empty for the Linux program.
const std::string& WindowsProgram() {
  static const std::string exe = [] {
    const char* named = std::getenv("VHDX_INSPECT_EXE");
    return std::string(named == nullptr ? "" : named);
  }();
  return exe;
}

}  // namespace

bool WindowsProgramUnderTest() { return !WindowsProgram().empty(); }

std::vector<std::string> ToolCommand() { return testsupport::CommandOf({VHDX_INSPECT_PATH, WindowsProgram()}); }

ToolRun RunTool(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits) {
  return testsupport::RunUnderTest({VHDX_INSPECT_PATH, WindowsProgram()}, arguments, limits);
}

ToolRun RunToolAsOrdinaryUser(const ScratchDirectory& files, const std::vector<std::string>& arguments) {
  testsupport::RunLimits limits;
  limits.as = testsupport::UnprivilegedAccount();
  if (limits.as) testsupport::HandOver(files.path(), *limits.as);
  return RunTool(arguments, limits);
}

}  // namespace e2e
