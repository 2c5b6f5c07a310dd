// Running vhdx-inspect and the independent tools it is compared with
// (qemu-img, vhdiinfo, sgdisk), and scratch directories for their files.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace agreement {

struct ProgramRun {
  std::string out;  // standard output
  std::string err;  // standard error
  int status = -1;  // exit status; -1 when the program did not exit normally
};

// Runs `program` (a path) with `arguments`, without a shell.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// The vhdx-inspect binary under test: $VHDX_INSPECT when set, else the one
// this build made.
std::string VhdxInspectPath();
ProgramRun RunVhdxInspect(const std::vector<std::string>& arguments);

// Where `name` is installed: on PATH, or in /usr/sbin or /sbin (sgdisk lives
// there and an ordinary user's PATH may not hold them). Empty when it is not.
std::optional<std::string> FindProgram(const std::string& name);

// A fresh directory under the system's temporary directory, removed with the object.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace agreement
