// Ctrl+C and SIGTERM end a run within a second wherever it is: in a long
// folder walk, in a parallel scan, in a write blocked on a pipe that nobody
// reads, and in the read of a list that never ends. The status is 130, standard error holds one line, and every
// line written is whole. Signals are the Linux program's: the Windows
// program's console handler is not reached this way under wine.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "json_run.h"
#include "slow_mount.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"

namespace json_test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kInterruptedStatus = 130;
constexpr char kInterruptedLine[] = "vhdx-inspect-json: interrupted\n";
// How long a run may take to end after the signal.
constexpr std::chrono::seconds kWithin{1};

// Appends what `descriptor` holds now to `text`; false at its end.
bool ReadAvailable(int descriptor, std::string& text) {
  char buffer[65536];
  const ssize_t n = ::read(descriptor, buffer, sizeof buffer);
  if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
  return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
}

// What the program's standard input is.
enum class Input {
  kNothing,      // /dev/null
  kEndlessPipe,  // a pipe whose writer, the test, stays until the program ends
};

// The program run with standard output and standard error on pipes that
// the test reads when it chooses: left unread, standard output fills.
class PipedRun {
 public:
  explicit PipedRun(const std::vector<std::string>& arguments, Input input = Input::kNothing) {
    int out[2];
    int err[2];
    int in[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (input == Input::kEndlessPipe && ::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    std::vector<std::string> words = {VHDX_INSPECT_JSON_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    child_ = ::fork();
    if (child_ == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::dup2(err[1], STDERR_FILENO);
      ::dup2(in[0] >= 0 ? in[0] : ::open("/dev/null", O_RDONLY), STDIN_FILENO);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (in[0] >= 0) ::close(in[0]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
    ::fcntl(out_, F_SETFL, O_NONBLOCK);
    ::fcntl(err_, F_SETFL, O_NONBLOCK);
  }

  ~PipedRun() {
    if (child_ > 0 && !exited_) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    ::close(out_);
    ::close(err_);
    if (in_ >= 0) ::close(in_);
  }

  PipedRun(const PipedRun&) = delete;
  PipedRun& operator=(const PipedRun&) = delete;

  // Waits until the program reads its standard input (Input::kEndlessPipe):
  // its main thread is in read(0, ...), which it enters only once it takes
  // interrupts. On a machine where that cannot be seen, waits 300 ms.
  void WaitUntilReadingStandardInput() {
#if defined(__x86_64__)
    const std::string reading = "0 0x0 ";  // read is system call 0
#elif defined(__aarch64__)
    const std::string reading = "63 0x0 ";
#else
    const std::string reading;
#endif
    const Clock::time_point start = Clock::now();
    while (!reading.empty() && Clock::now() - start < std::chrono::seconds(30)) {
      std::ifstream state("/proc/" + std::to_string(child_) + "/syscall");
      std::string line;
      if (!std::getline(state, line)) break;
      if (line.rfind(reading, 0) == 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }

  // Writes `bytes` to the program's standard input (Input::kEndlessPipe).
  void Give(const std::string& bytes) {
    ASSERT_EQ(::write(in_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // The bytes waiting in the standard output pipe.
  int Unread() const {
    int bytes = 0;
    ::ioctl(out_, FIONREAD, &bytes);
    return bytes;
  }

  // True while the program runs.
  bool Running() {
    if (exited_) return false;
    int status = 0;
    if (::waitpid(child_, &status, WNOHANG) != child_) return true;
    exited_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
  }

  // Sends `signal`, then reads both streams until the program ends; how
  // long it took to end is `seconds`.
  void SignalAndFinish(int signal) {
    const Clock::time_point sent = Clock::now();
    ::kill(child_, signal);
    while (Running()) {
      if (Clock::now() - sent > std::chrono::seconds(30)) {
        ::kill(child_, SIGKILL);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    seconds = std::chrono::duration<double>(Clock::now() - sent).count();
    while (Running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    while (ReadAvailable(out_, out)) {
    }
    while (ReadAvailable(err_, err)) {
    }
  }

  std::string out;
  std::string err;
  double seconds = 0;
  int status() const { return status_; }

 private:
  pid_t child_ = -1;
  int out_ = -1;
  int err_ = -1;
  int in_ = -1;
  bool exited_ = false;
  int status_ = -1;
};

// Every line of `out` is a whole JSON object.
void ExpectWholeLines(const std::string& out) {
  if (out.empty()) return;
  EXPECT_EQ(out.back(), '\n') << "a line was cut short";
  EXPECT_NO_FATAL_FAILURE(JsonLines(out.substr(0, out.rfind('\n') + 1)));
}

void ExpectInterrupted(const PipedRun& run) {
  EXPECT_EQ(run.status(), kInterruptedStatus);
  EXPECT_EQ(run.err, kInterruptedLine);
  EXPECT_LT(run.seconds, std::chrono::duration<double>(kWithin).count()) << "the run did not end within a second";
  ExpectWholeLines(run.out);
}

bool SignalsReachTheProgram() { return !WindowsJsonProgramUnderTest(); }

// Images through a mount that delays every request by 5 ms: SIGINT once the
// first line is out ends the scan at one job and at four.
TEST(JsonInterrupt, CtrlCEndsAParallelScanBetweenWholeLines) {
  if (!SignalsReachTheProgram()) GTEST_SKIP() << "POSIX signals reach the Linux program only";
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
    PipedRun run({"-p", mount.path().string(), "-j", jobs});
    const Clock::time_point start = Clock::now();
    while (run.Unread() == 0 && run.Running() && Clock::now() - start < std::chrono::seconds(60)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(run.Running()) << "the scan ended before the signal";
    run.SignalAndFinish(SIGINT);
    ExpectInterrupted(run);
    const std::vector<nlohmann::json> lines = JsonLines(run.out);
    EXPECT_LT(lines.size(), static_cast<std::size_t>(kImages)) << "the scan went on after the interrupt";
  }
}

// A tree of 2,000 empty folders with one image at its end, through a mount
// that delays each listing by 2 ms, as a share on the network does: the walk
// takes seconds, and SIGINT or SIGTERM 0.3 s in ends it within a second,
// before the image, at any -j.
TEST(JsonInterrupt, ALongWalkEndsWithinASecond) {
  if (!SignalsReachTheProgram()) GTEST_SKIP() << "POSIX signals reach the Linux program only";
  if (const auto reason = SlowMount::Unavailable()) GTEST_SKIP() << *reason;
  testsupport::ScratchDirectory scratch;
  const fs::path source = scratch.path() / "tree";
  for (int i = 0; i < 40; ++i) {
    for (int j = 0; j < 50; ++j) fs::create_directories(source / ("d" + std::to_string(i)) / ("e" + std::to_string(j)));
  }
  fs::create_directories(source / "last");
  testsupport::PluginImage::Build({}).WriteTo((source / "last" / "image.vhdx").string());
  fs::create_directory(scratch.path() / "mount");
  const SlowMount mount(source, scratch.path() / "mount", 2000);

  struct Case {
    const char* jobs;
    int signal;
  };
  for (const Case& c : {Case{"1", SIGINT}, Case{"8", SIGINT}, Case{"64", SIGTERM}}) {
    SCOPED_TRACE(std::string("-j ") + c.jobs + ", signal " + std::to_string(c.signal));
    PipedRun run({"-r", "-p", mount.path().string(), "-j", c.jobs});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(run.Running()) << "the walk ended before the signal";
    run.SignalAndFinish(c.signal);
    ExpectInterrupted(run);
    EXPECT_EQ(run.out, "") << "the walk reached the image";
  }
}

// Standard output is a pipe that nobody reads: once it is full, the program
// waits in its write. SIGINT ends it within a second, and what the pipe
// holds is whole lines.
TEST(JsonInterrupt, AWriteBlockedOnAnUnreadPipeEndsWithinASecond) {
  if (!SignalsReachTheProgram()) GTEST_SKIP() << "POSIX signals reach the Linux program only";
  testsupport::ScratchDirectory scratch;
  const fs::path folder = scratch.path() / "images";
  fs::create_directory(folder);
  const testsupport::PluginImage image = testsupport::PluginImage::Build({});
  // Far more lines than a pipe holds (64 KiB, about 15 lines).
  for (int i = 0; i < 60; ++i) image.WriteTo((folder / ("image-" + std::to_string(100 + i) + ".vhdx")).string());

  for (const char* jobs : {"1", "8"}) {
    SCOPED_TRACE(jobs);
    PipedRun run({"-p", folder.string(), "-j", jobs});
    // Full: the pipe has stopped filling for 200 ms, after its first line
    // (a slow start, as under ThreadSanitizer, is not a full pipe).
    int unread = -1;
    Clock::time_point still = Clock::now();
    const Clock::time_point start = Clock::now();
    while (unread <= 0 || Clock::now() - still < std::chrono::milliseconds(200)) {
      ASSERT_TRUE(run.Running()) << "the program ended without waiting for the pipe";
      ASSERT_LT(Clock::now() - start, std::chrono::seconds(60));
      if (const int now = run.Unread(); now != unread) {
        unread = now;
        still = Clock::now();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_GT(unread, 0);
    run.SignalAndFinish(SIGINT);
    ExpectInterrupted(run);
    EXPECT_LT(JsonLines(run.out).size(), 60U);
  }
}

// A list read from standard input that never ends (its writer stays): the
// program waits in the read, and SIGINT or SIGTERM ends it within a second,
// with the interrupt's line only (no line about a list that could not be
// read) and status 130, at any -j, whatever came of the list before: nothing,
// part of a name, or a whole name (inspected whole or not at all).
TEST(JsonInterrupt, AListThatNeverEndsEndsWithinASecond) {
  if (!SignalsReachTheProgram()) GTEST_SKIP() << "POSIX signals reach the Linux program only";
  testsupport::ScratchDirectory scratch;
  const std::string image = (scratch.path() / "image.vhdx").string();
  testsupport::PluginImage::Build({}).WriteTo(image);

  enum class Given { kNothing, kPartOfAName, kAName };
  struct Case {
    const char* option;
    char end;
    const char* jobs;
    int signal;
    Given given;
  };
  for (const Case& c : {Case{"--files-from", '\n', "1", SIGINT, Given::kNothing},
                        Case{"--files0-from", '\0', "1", SIGTERM, Given::kPartOfAName},
                        Case{"--files-from", '\n', "8", SIGTERM, Given::kPartOfAName},
                        Case{"--files0-from", '\0', "8", SIGINT, Given::kNothing},
                        Case{"--files-from", '\n', "8", SIGINT, Given::kAName}}) {
    SCOPED_TRACE(std::string(c.option) + " -, -j " + c.jobs + ", signal " + std::to_string(c.signal) + ", given " +
                 std::to_string(static_cast<int>(c.given)));
    PipedRun run({c.option, "-", "-j", c.jobs}, Input::kEndlessPipe);
    if (c.given == Given::kPartOfAName) run.Give(image.substr(0, 5));
    if (c.given == Given::kAName) run.Give(image + c.end);
    run.WaitUntilReadingStandardInput();
    ASSERT_TRUE(run.Running()) << "the program did not wait for the rest of the list";
    run.SignalAndFinish(c.signal);
    ExpectInterrupted(run);
    EXPECT_LE(std::count(run.out.begin(), run.out.end(), '\n'), c.given == Given::kAName ? 1 : 0);
  }
}

}  // namespace
}  // namespace json_test
