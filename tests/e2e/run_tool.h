// Runs the built vhdx-inspect binary and captures what a user sees: the whole
// standard output, the standard error and the exit status.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

struct ToolRun {
  std::string out;
  std::string err;
  int status = -1;  // the exit status; -1 when the tool did not exit normally
  int signal = 0;   // the signal that ended it, if one did
};

// Runs the tool with `arguments` (without the program name).
ToolRun RunTool(const std::vector<std::string>& arguments);

// A fresh directory under the test temporary directory, removed with the object.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace e2e
