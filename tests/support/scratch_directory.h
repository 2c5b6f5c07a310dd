// A fresh directory under the system's temporary directory for a test's
// files, removed with everything in it when the object goes, even after a
// test took its permissions away.
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `name` inside the directory.
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport
