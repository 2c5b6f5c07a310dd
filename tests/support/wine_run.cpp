#include "support/wine_run.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iostream>

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

// Wine's known failures of its own, which a test must not count against the
// program. First, now and then wine ends a Windows program before its main()
// runs, with exit status 1, nothing on either output stream, and sooner than
// any start that reaches main(). Evidence (wine 8.0 on Debian 12, two cores,
// the end-to-end and hostile suites two at a time under load): one start in
// about 1,400 ended with status 1, no output, after 0.025 s (in
// CommandLine.DirectoryModeWinsOverAnImagePath, which expects status 0 and
// no output); the others took 0.030 s to 1.2 s, median 0.14 s. The program
// itself never ends with status 1 without a word: both of its status-1 paths
// print the options or "Please specify a VHDX path or file" first, a failed
// write ends with status 2 and a line on standard error, and an unhandled
// exception ends with the status of its exception code.
//
// Recognised by all of: exit status 1, no signal, no output on either stream,
// within 1 s.
constexpr int kWineStartFailureStatus = 1;
constexpr double kWineStartFailureSeconds = 1.0;

bool IsWineStartFailure(const ProgramRun& run) {
  return run.status == kWineStartFailureStatus && run.signal == 0 && !run.timedOut && !run.execFailed &&
         run.out.empty() && run.err.empty() && run.seconds < kWineStartFailureSeconds;
}

// The same failure at the other end of a run: glibc's dynamic loader stops
// the Unix process that wine runs the program in as it exits, with status 127
// and its assertion as the only text on standard error, ended by LF alone.
// Evidence: once in a run of windows-test.sh (about 300 starts), in
// Container/HeaderSectionCheck.PrintsTheLineOfTheFirstFailedCheck/bat_guid_zero,
// whose report on standard output was whole and right. The Windows program
// writes no such text (its lines end with CR LF).
constexpr int kWineExitFailureStatus = 127;
constexpr char kWineExitFailureText[] =
    "Inconsistency detected by ld.so: dl-fini.c: 87: _dl_fini: Assertion `ns != LM_ID_BASE || i == nloaded' "
    "failed!\n";

bool IsWineExitFailure(const ProgramRun& run) {
  return run.status == kWineExitFailureStatus && run.signal == 0 && !run.timedOut && run.err == kWineExitFailureText;
}

// A run that one of these two ended, and only such a run, is started once
// more; every other run, whatever its outcome, is what the test sees.
// cmake/wine-start.sh treats the unit tests' runs the same way, with the same
// signatures. Counted by one line, naming the test and the arguments, in the
// file that VHDX_WINE_REPEATS names (scripts/windows-test.sh prints how many),
// and a note in the test's own output.
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
