#include "support/wine_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <string>

namespace testsupport {
namespace {

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

// Wine's two known failures of its own, as wine-failures.txt in this folder
// describes them, with the evidence; cmake/wine-start.sh reads the same file.
struct WineFailures {
  int startStatus = 0;
  double startSeconds = 0;
  int exitStatus = 0;
  std::string exitText;  // standard error's whole text, without its LF
};

WineFailures ReadWineFailures(const std::filesystem::path& file) {
  std::ifstream in(file);
  if (!in) throw std::runtime_error("testsupport: cannot read wine's known failures from " + file.string());
  std::map<std::string, std::string> values;
  for (std::string line; std::getline(in, line);) {
    const std::size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string::npos) continue;
    values[line.substr(0, equals)] = line.substr(equals + 1);
  }
  const auto value = [&](const char* name) {
    const auto found = values.find(name);
    if (found == values.end())
      throw std::runtime_error("testsupport: no " + std::string(name) + " in " + file.string());
    return found->second;
  };
  return {std::stoi(value("start_failure_status")), std::stod(value("start_failure_microseconds")) / 1e6,
          std::stoi(value("exit_failure_status")), value("exit_failure_text")};
}

const WineFailures& KnownWineFailures() {
  static const WineFailures known = ReadWineFailures(VHDX_WINE_FAILURES_FILE);
  return known;
}

bool IsWineStartFailure(const ProgramRun& run) {
  const WineFailures& known = KnownWineFailures();
  return run.status == known.startStatus && run.signal == 0 && !run.timedOut && !run.execFailed && run.out.empty() &&
         run.err.empty() && run.seconds < known.startSeconds;
}

bool IsWineExitFailure(const ProgramRun& run) {
  const WineFailures& known = KnownWineFailures();
  return run.status == known.exitStatus && run.signal == 0 && !run.timedOut && run.err == known.exitText + "\n";
}

// A run that one of these two ended, and only such a run, is started once
// more; every other run, whatever its outcome, is what the test sees.
// cmake/wine-start.sh treats the unit tests' runs the same way. Counted by
// one line, naming the test and the arguments, in the file that
// VHDX_WINE_REPEATS names (scripts/windows-test.sh prints how many), and a
// note in the test's own output.
void CountWineRepeat(const char* kind, const std::vector<std::string>& arguments, const ProgramRun& failed) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string line = std::string(kind) + ": " +
                     (test == nullptr ? std::string("?") : std::string(test->test_suite_name()) + "." + test->name());
  for (const std::string& argument : arguments) line += " " + argument;
  std::cerr << "testsupport: wine's own failure (status " << failed.status << ", " << failed.out.size()
            << " bytes of output, " << failed.seconds << " s); started once more: " << line << std::endl;
  const char* file = std::getenv("VHDX_WINE_REPEATS");
  if (file != nullptr && *file != '\0') std::ofstream(file, std::ios::app) << line << '\n';
}

}  // namespace

std::vector<std::string> CommandOf(const ProgramUnderTest& program) {
  if (program.windowsExe.empty()) return {program.linuxProgram};
  return {"/usr/bin/env", "LC_ALL=C.UTF-8", "WINEDEBUG=-all", Wine(), program.windowsExe};
}

ProgramRun RunUnderTest(const ProgramUnderTest& program, const std::vector<std::string>& arguments,
                        const RunLimits& limits) {
  std::vector<std::string> argv = CommandOf(program);
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ProgramRun run = RunProgram(argv, limits);
  if (program.windowsExe.empty()) return run;
  if (IsWineStartFailure(run) || IsWineExitFailure(run)) {
    CountWineRepeat(IsWineStartFailure(run) ? "start-up" : "at exit", arguments, run);
    run = RunProgram(argv, limits);
  }
  run.out = WithLineFeedEnds(run.out, "standard output");
  run.err = WithLineFeedEnds(run.err, "standard error");
  return run;
}

}  // namespace testsupport
