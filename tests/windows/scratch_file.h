// Scratch files for the Windows tests: unique paths in the temporary folder,
// positioned writes that leave holes, and a handle held open by the test
// itself (under wine only a Windows handle makes a sharing violation).
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

namespace windows_test {

// A path in the temporary folder named after the running test and this
// process, so that tests running side by side never share a file; `suffix`
// tells apart the paths of one test. The file
// (or an empty directory) of that name is deleted when this object goes.
class ScratchPath {
 public:
  explicit ScratchPath(const std::string& suffix) {
    char folder[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathA(sizeof folder, folder);
    if (length == 0 || length > MAX_PATH) throw std::runtime_error("GetTempPathA failed");
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("vhdx-") + test->test_suite_name() + "-" + test->name();
    for (char& c : name) {
      if (c == '/' || c == '\\' || c == ':') c = '_';
    }
    path_ = std::string(folder) + name + "-" + std::to_string(::GetCurrentProcessId()) + suffix;
  }
  ~ScratchPath() {
    if (!::DeleteFileA(path_.c_str())) ::RemoveDirectoryA(path_.c_str());
  }
  ScratchPath(const ScratchPath&) = delete;
  ScratchPath& operator=(const ScratchPath&) = delete;

  const std::string& str() const { return path_; }

 private:
  std::string path_;
};

// Writes `bytes` at `offset` of an existing file, marked sparse first where
// the file system allows it, so that the gap before them stays a hole.
inline void WriteAt(const std::string& path, std::uint64_t offset, std::span<const std::byte> bytes) {
  const HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path + " for writing");
  DWORD unused = 0;
  ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &unused, nullptr);  // a hint only
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  DWORD written = 0;
  const bool ok = ::SetFilePointerEx(file, position, nullptr, FILE_BEGIN) &&
                  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  ::CloseHandle(file);
  if (!ok) throw std::runtime_error("cannot write " + path);
}

// Writes a new file holding `bytes`.
inline void WriteNewFile(const std::string& path, std::span<const std::byte> bytes) {
  const HANDLE file =
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + path);
  DWORD written = 0;
  const bool ok =
      ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  ::CloseHandle(file);
  if (!ok) throw std::runtime_error("cannot write " + path);
}

// A handle that the test holds on a file, as another program would, sharing
// it for reading with whoever asks.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path)
      : handle_(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr)),
        status_(handle_ == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS) {}
  ~HeldOpen() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }
  HeldOpen(const HeldOpen&) = delete;
  HeldOpen& operator=(const HeldOpen&) = delete;

  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }
  DWORD status() const { return status_; }

 private:
  HANDLE handle_;
  DWORD status_;
};

}  // namespace windows_test
