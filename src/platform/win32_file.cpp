// Win32 backend of the image file: CreateFileW (or CreateFileA for a narrow
// name) with no sharing, ReadFile, SetFilePointerEx, CloseHandle and
// GetLastError.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "encoding/utf16.h"

#include "platform/file.h"

namespace vhdx_inspect::detail::platform {

const ErrorCode kInvalidPositionStatus = ERROR_NEGATIVE_SEEK;
const ErrorCode kOutOfMemoryStatus = ERROR_NOT_ENOUGH_MEMORY;

// FormatMessageW's text in the user's language, as UTF-8, without the
// period and line end it ends with.
std::string SystemErrorText(ErrorCode status) {
  wchar_t* text = nullptr;
  const DWORD length =
      ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, status, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return {};
  std::vector<std::uint16_t> units(text, text + length);
  ::LocalFree(text);
  while (!units.empty() &&
         (units.back() == u'\r' || units.back() == u'\n' || units.back() == u' ' || units.back() == u'.')) {
    units.pop_back();
  }
  return encoding::Utf16ToUtf8(units);
}

namespace {

class Win32File final : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override { ::CloseHandle(handle_); }

  bool Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) override {
    DWORD got = 0;
    if (!::ReadFile(handle_, buffer, size, &got, nullptr)) {
      lastError_ = ::GetLastError();
      bytesRead = 0;
      return false;
    }
    bytesRead = got;
    return true;
  }

  bool Seek(std::uint64_t offset) override {
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!::SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN)) {
      lastError_ = ::GetLastError();
      return false;
    }
    return true;
  }

  ErrorCode LastError() const override { return lastError_; }

  // Only disk files are opened; a failed call leaves the length unknown.
  std::optional<std::uint64_t> Size() const override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_, &size) || size.QuadPart < 0) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
  }

 private:
  HANDLE handle_;
  ErrorCode lastError_ = 0;
};

// A handle from CreateFileA or CreateFileW, kept only when it is a file on
// a disk: a pipe, a console or a device is refused as access denied.
OpenResult Opened(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return {nullptr, ::GetLastError()};
  if (::GetFileType(handle) != FILE_TYPE_DISK) {
    ::CloseHandle(handle);
    return {nullptr, ERROR_ACCESS_DENIED};
  }
  return {std::make_unique<Win32File>(handle), 0};
}

}  // namespace

OpenResult OpenForExclusiveRead(const std::filesystem::path& path) {
  return Opened(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

OpenResult OpenNarrowForExclusiveRead(const std::string& path) {
  return Opened(::CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::string NameAsText(const std::filesystem::path& path) {
  const std::wstring& name = path.native();
  static_assert(sizeof(wchar_t) == sizeof(std::uint16_t), "Windows names are UTF-16");
  const std::vector<std::uint16_t> units(name.begin(), name.end());
  return encoding::Utf16ToUtf8(units);
}

}  // namespace vhdx_inspect::detail::platform
