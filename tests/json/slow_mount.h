// A folder seen through slow_mount (tests/support/slow_mount.cpp): every open and
// read under the mount point waits a fixed time, as on network storage.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>

namespace json_test {

class SlowMount {
 public:
  // Why a slow mount cannot be made on this machine, or nothing when it can:
  // /dev/fuse is missing, or slow_mount or fusermount3 were not built or
  // installed.
  static std::optional<std::string> Unavailable();

  // Mounts `source` at `mountPoint` (an empty folder) with `latencyUs` for
  // every open, read and folder listing, and `slowUs` more for the file named
  // `slowName`.
  // Throws std::runtime_error when the mount does not appear.
  SlowMount(const std::filesystem::path& source, const std::filesystem::path& mountPoint, long latencyUs,
            const std::string& slowName = "", long slowUs = 0);
  ~SlowMount();
  SlowMount(const SlowMount&) = delete;
  SlowMount& operator=(const SlowMount&) = delete;

  const std::filesystem::path& path() const { return mountPoint_; }

 private:
  std::filesystem::path mountPoint_;
  pid_t server_ = -1;
};

}  // namespace json_test
