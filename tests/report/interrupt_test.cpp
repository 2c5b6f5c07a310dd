// Ctrl+C while vhdx-inspect-report reads JSON lines that never end: the run
// ends within a second with status 130 and one line on standard error, and
// writes no page (the file -o named is removed). Signals are the Linux
// program's: under wine the test is skipped.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "report_run.h"
#include "support/scratch_directory.h"

namespace report_test {
namespace {

std::string ReadAll(int descriptor) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(descriptor, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
  return text;
}

TEST(ReportInterrupt, CtrlCWhileLinesAreReadEndsWithoutAPage) {
  if (WindowsReportProgramUnderTest()) GTEST_SKIP() << "signals do not reach the Windows program under wine";
  const testsupport::ScratchDirectory scratch;
  const std::string page = scratch / "page.html";
  int in[2];
  int err[2];
  ASSERT_EQ(::pipe(in), 0);
  ASSERT_EQ(::pipe(err), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::dup2(in[0], STDIN_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::close(in[1]);
    ::close(err[0]);
    ::execl(VHDX_INSPECT_REPORT_PATH, VHDX_INSPECT_REPORT_PATH, "--from-json", "-", "-o", page.c_str(),
            static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(err[1]);
  // One valid line, then nothing more: the program waits for the next one.
  const std::string line = R"({"schema_version":1,"path":"a.vhdx","verdict":"sound","gpt_findings":[],"warnings":[]})"
                           "\n";
  ASSERT_EQ(::write(in[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
  for (int i = 0; i < 100 && !std::filesystem::exists(page); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(std::filesystem::exists(page)) << "-o's file is opened before the lines are read";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const auto sent = std::chrono::steady_clock::now();
  ::kill(child, SIGINT);
  int status = 0;
  pid_t ended = 0;
  while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() - sent < std::chrono::seconds(5)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (ended == 0) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    ::close(in[1]);
    FAIL() << "the program did not end within 5 s of Ctrl+C";
  }
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(1));
  ::close(in[1]);
  const std::string errors = ReadAll(err[0]);
  ::close(err[0]);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_EQ(errors, "vhdx-inspect-report: interrupted\n");
  EXPECT_FALSE(std::filesystem::exists(page));
}

}  // namespace
}  // namespace report_test
