#include "platform_expectations.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

namespace e2e {
namespace {

namespace fs = std::filesystem;

// Windows error codes (winerror.h).
constexpr int kErrorFileNotFound = 2;
constexpr int kErrorPathNotFound = 3;
constexpr int kErrorAccessDenied = 5;
constexpr int kErrorNegativeSeek = 131;

struct Statuses {
  int onLinux;
  int onWindows;
};

Statuses StatusesOf(Failure failure) {
  switch (failure) {
    case Failure::kNoSuchFile:
      return {ENOENT, kErrorFileNotFound};
    case Failure::kNoSuchFolder:
      return {ENOENT, kErrorPathNotFound};
    case Failure::kFolder:
      return {EISDIR, kErrorAccessDenied};
    case Failure::kDevice:
      return {EINVAL, kErrorAccessDenied};
    case Failure::kInvalidPosition:
      return {EINVAL, kErrorNegativeSeek};
  }
  return {-1, -1};
}

std::string Lowered(const std::string& name) {
  std::string lowered = name;
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lowered;
}

bool IsSeparator(char c, bool windows) { return c == '/' || (windows && c == '\\'); }

}  // namespace

int StatusOf(Failure failure) {
  const Statuses statuses = StatusesOf(failure);
  return WindowsProgramUnderTest() ? statuses.onWindows : statuses.onLinux;
}

std::string UnwritableOutputCause(testsupport::StandardOutput output) {
  const bool windows = WindowsProgramUnderTest();
  switch (output) {
    case testsupport::StandardOutput::kFull:  // ENOSPC; ERROR_DISK_FULL
      return windows ? "Disk full." : "No space left on device";
    case testsupport::StandardOutput::kClosed:  // EBADF; ERROR_INVALID_HANDLE
      return windows ? "Invalid handle." : "Bad file descriptor";
    case testsupport::StandardOutput::kClosedPipe:  // EPIPE, unseen behind SIGPIPE; ERROR_PIPE_NOT_CONNECTED
      return windows ? "Pipe not connected." : "Broken pipe";
    case testsupport::StandardOutput::kCaptured:
      break;
  }
  return "";
}

bool ClosedPipeEndsBySigpipe() { return !WindowsProgramUnderTest(); }

std::string DevicePath() { return WindowsProgramUnderTest() ? "NUL" : "/dev/null"; }

std::string ScannedPath(const std::string& folder, const std::string& name) {
  const bool windows = WindowsProgramUnderTest();
  std::string path = folder;
  if (windows) {
    while (path.size() > 1 && IsSeparator(path.back(), true)) path.pop_back();
  }
  if (!path.empty() && !IsSeparator(path.back(), windows)) path += windows ? '\\' : '/';
  return path + name;
}

std::vector<std::string> NamesInListingOrder(const fs::path& directory) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  if (WindowsProgramUnderTest()) {
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
      const std::string la = Lowered(a), lb = Lowered(b);
      return la != lb ? la < lb : a < b;
    });
  }
  return names;
}

std::string InProgramCodePage(const std::string& utf8) {
  if (!WindowsProgramUnderTest()) return utf8;
  std::string narrow;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    if ((lead == 0xC2 && next >= 0xA0) || (lead == 0xC3 && next >= 0x80 && next < 0xC0)) {
      narrow += static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F));
      ++i;
    } else if (lead >= 0xC0 && lead < 0xF0) {
      // A character of the Basic Multilingual Plane outside the code page:
      // one "?" for its lead byte and its continuation bytes.
      narrow += '?';
      while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) ++i;
    } else {
      narrow += utf8[i];
    }
  }
  return narrow;
}

bool IsPosixOnlyFileType(const fs::path& path) {
  const fs::file_status status = fs::symlink_status(path);
  return fs::is_symlink(status) || fs::is_fifo(status) || fs::is_socket(status) || fs::is_character_file(status) ||
         fs::is_block_file(status);
}

}  // namespace e2e
