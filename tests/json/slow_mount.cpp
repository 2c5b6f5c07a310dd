#include "slow_mount.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

#include "support/program_run.h"

extern char** environ;

namespace json_test {
namespace {

bool MountedAt(const std::filesystem::path& mountPoint) {
  struct stat point {
  }, parent{};
  if (::stat(mountPoint.c_str(), &point) != 0 || ::stat(mountPoint.parent_path().c_str(), &parent) != 0) return false;
  return point.st_dev != parent.st_dev;
}

// The built slow_mount, or empty with the reason in VHDX_SLOW_MOUNT_MISSING
// (tests/json/CMakeLists.txt).
constexpr std::string_view kSlowMountPath = VHDX_SLOW_MOUNT_PATH;

}  // namespace

std::optional<std::string> SlowMount::Unavailable() {
  if (kSlowMountPath.empty()) return std::string("slow_mount was not built: ") + VHDX_SLOW_MOUNT_MISSING;
  if (::access("/dev/fuse", R_OK | W_OK) != 0) return std::string("/dev/fuse is missing or not usable here");
  if (!testsupport::FindProgram("fusermount3")) {
    return std::string("fusermount3 is missing (package fuse3; scripts/install-deps.sh test installs it)");
  }
  return std::nullopt;
}

SlowMount::SlowMount(const std::filesystem::path& source, const std::filesystem::path& mountPoint, long latencyUs,
                     const std::string& slowName, long slowUs)
    : mountPoint_(mountPoint) {
  if (kSlowMountPath.empty()) throw std::runtime_error("slow_mount was not built");
  std::vector<std::string> arguments = {std::string(kSlowMountPath), source.string(), mountPoint.string(),
                                        std::to_string(latencyUs)};
  if (!slowName.empty()) arguments.insert(arguments.end(), {slowName, std::to_string(slowUs)});
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const int spawned = ::posix_spawn(&server_, argv[0], &actions, nullptr, argv.data(), environ);
  ::posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) throw std::runtime_error("slow_mount could not be started");
  for (int i = 0; i < 500 && !MountedAt(mountPoint_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (!MountedAt(mountPoint_)) {
    ::kill(server_, SIGTERM);
    ::waitpid(server_, nullptr, 0);
    throw std::runtime_error("slow_mount did not mount " + mountPoint_.string());
  }
}

SlowMount::~SlowMount() {
  if (server_ <= 0) return;
  testsupport::RunProgram({*testsupport::FindProgram("fusermount3"), "-u", "-z", mountPoint_.string()});
  ::waitpid(server_, nullptr, 0);
}

}  // namespace json_test
