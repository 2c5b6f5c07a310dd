// Ctrl+C during a parallel scan: the run ends with status 130 and one line
// on standard error, the workers stop, and every line written is whole.
// Signals are the Linux program's: the Windows program's console handler is
// not reached this way under wine.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "json_run.h"
#include "slow_mount.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"

namespace json_test {
namespace {

namespace fs = std::filesystem;

struct Interrupted {
  std::string out;
  std::string err;
  int status = -1;
};

// Runs the program with `arguments`, sends SIGINT once its first line is
// out, and reads the rest.
Interrupted RunAndInterruptAfterTheFirstLine(const std::vector<std::string>& arguments) {
  int out[2];
  int err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) throw std::runtime_error("pipe");
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    ::close(out[0]);
    ::close(err[0]);
    std::vector<char*> argv;
    std::string program = VHDX_INSPECT_JSON_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  Interrupted result;
  char buffer[4096];
  bool sent = false;
  for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
    result.out.append(buffer, static_cast<std::size_t>(n));
    if (!sent && result.out.find('\n') != std::string::npos) {
      ::kill(child, SIGINT);
      sent = true;
    }
  }
  for (ssize_t n; (n = ::read(err[0], buffer, sizeof buffer)) > 0;)
    result.err.append(buffer, static_cast<std::size_t>(n));
  ::close(out[0]);
  ::close(err[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

TEST(JsonInterrupt, CtrlCEndsAParallelScanBetweenWholeLines) {
  if (WindowsJsonProgramUnderTest()) GTEST_SKIP() << "POSIX signals reach the Linux program only";
  if (const auto reason = SlowMount::Unavailable()) GTEST_SKIP() << *reason;
  testsupport::ScratchDirectory scratch;
  const fs::path source = scratch.path() / "images";
  fs::create_directory(source);
  const testsupport::PluginImage image = testsupport::PluginImage::Build({});
  constexpr int kImages = 60;
  for (int i = 0; i < kImages; ++i) image.WriteTo((source / ("image-" + std::to_string(100 + i) + ".vhdx")).string());
  fs::create_directory(scratch.path() / "mount");
  const SlowMount mount(source, scratch.path() / "mount", 5000);

  for (const char* jobs : {"1", "4"}) {
    SCOPED_TRACE(jobs);
    const Interrupted run = RunAndInterruptAfterTheFirstLine({"-p", mount.path().string(), "-j", jobs});
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(run.err, "vhdx-inspect-json: interrupted\n");
    ASSERT_FALSE(run.out.empty());
    EXPECT_EQ(run.out.back(), '\n') << "a line was cut short";
    const std::vector<nlohmann::json> lines = JsonLines(run.out);  // each line one whole object
    EXPECT_LT(lines.size(), static_cast<std::size_t>(kImages)) << "the scan went on after the interrupt";
  }
}

}  // namespace
}  // namespace json_test
