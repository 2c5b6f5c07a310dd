#include "run_tool.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

std::string Wine() {
  const char* named = std::getenv("VHDX_WINE");
  return named == nullptr || *named == '\0' ? "wine" : named;
}

// A Windows console program ends every line of its standard streams with
// CR LF. Reports the lines of `text` that do not, and returns `text` with LF
// line ends, the form the expected texts are written in.
std::string WithLineFeedEnds(const std::string& text, const char* stream) {
  std::string lf;
  lf.reserve(text.size());
  std::size_t line = 0, bareLineFeeds = 0, firstBare = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n') {
      ++line;
      if (i == 0 || text[i - 1] != '\r') {
        if (bareLineFeeds++ == 0) firstBare = line;
      }
    }
    lf += text[i];
  }
  if (bareLineFeeds != 0) {
    ADD_FAILURE() << bareLineFeeds << " of " << line << " lines of the Windows program's " << stream
                  << " end with LF alone, not CR LF; the first is line " << firstBare << ":\n"
                  << text;
  }
  return lf;
}

}  // namespace

bool WindowsProgramUnderTest() { return !WindowsProgram().empty(); }

std::vector<std::string> ToolCommand() {
  if (!WindowsProgramUnderTest()) return {VHDX_INSPECT_PATH};
  // A UTF-8 locale, so that wine reads the Unix file names and the command
  // line as UTF-8 and gives the program the ANSI code page 1252; and no
  // messages of wine's own on the error stream.
  return {"/usr/bin/env", "LC_ALL=C.UTF-8", "WINEDEBUG=-all", Wine(), WindowsProgram()};
}

ToolRun RunTool(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits) {
  std::vector<std::string> argv = ToolCommand();
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ToolRun run = testsupport::RunProgram(argv, limits);
  if (WindowsProgramUnderTest()) {
    run.out = WithLineFeedEnds(run.out, "standard output");
    run.err = WithLineFeedEnds(run.err, "standard error");
  }
  return run;
}

ToolRun RunToolAsOrdinaryUser(const ScratchDirectory& files, const std::vector<std::string>& arguments) {
  testsupport::RunLimits limits;
  limits.as = testsupport::UnprivilegedAccount();
  if (limits.as) testsupport::HandOver(files.path(), *limits.as);
  return RunTool(arguments, limits);
}

}  // namespace e2e
