// The image file as the reader sees it: opened once for exclusive reading,
// read sequentially from a position that can be moved to any 64-bit offset.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace vhdx_inspect::detail::platform {

// System error code of a failed call: errno on POSIX, GetLastError() on Windows.
using ErrorCode = std::uint32_t;

class File {
 public:
  virtual ~File() = default;
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Reads up to `size` bytes at the current position into `buffer` and
  // advances the position. Delivers fewer bytes only at the end of the file.
  // Returns false when the read fails; LastError() then tells why.
  virtual bool Read(void* buffer, std::uint32_t size, std::uint32_t& bytesRead) = 0;

  // Moves the position to `offset` bytes from the start of the file.
  // Returns false when the offset cannot be taken; LastError() tells why.
  virtual bool Seek(std::uint64_t offset) = 0;

  // The error code of the last failed Read or Seek.
  virtual ErrorCode LastError() const = 0;

  // The length of the file in bytes, or nothing where it cannot be known
  // (a pipe, a device, a stand-in that does not tell).
  virtual std::optional<std::uint64_t> Size() const { return std::nullopt; }

  // Tells the system that the reads to come are few and far apart, so that
  // it reads ahead no more than they ask for (nothing where it cannot be
  // told). Reads of examined extents only ask: from a cold page cache the
  // readahead of Linux had pulled 1.19 MB from storage for the 432 KB they
  // read an image, 0.47 MB with the advice (bench/README.md).
  virtual void AdviseRandomAccess() {}
};

// The system's own codes for a position outside the file's range and for a
// buffer that could not be allocated (EINVAL and ENOMEM on POSIX,
// ERROR_NEGATIVE_SEEK and ERROR_NOT_ENOUGH_MEMORY on Windows).
extern const ErrorCode kInvalidPositionStatus;
extern const ErrorCode kOutOfMemoryStatus;

// The outcome of an open: a file, or the error code of the failed open.
struct OpenResult {
  std::unique_ptr<File> file;
  ErrorCode status = 0;
};

// Opens a regular file for reading, with no other process allowed to hold it
// at the same time. Never blocks: a directory, a FIFO, a device or a file
// held by another process fails with its error code. On Windows the file is
// opened by the path's UTF-16 name (CreateFileW).
OpenResult OpenForExclusiveRead(const std::filesystem::path& path);

// The same for a name in the system's narrow form: on Windows the ANSI code
// page (CreateFileA), as the text program's arguments come; on POSIX the same
// as OpenForExclusiveRead.
OpenResult OpenNarrowForExclusiveRead(const std::string& path);

// The system's own text for `status`, as UTF-8 and without a final period
// or line end ("No such file or directory"); empty when it has none.
std::string SystemErrorText(ErrorCode status);

// The name of `path` as text: its bytes on POSIX, its UTF-16 name as UTF-8
// on Windows (an unpaired surrogate as U+FFFD).
std::string NameAsText(const std::filesystem::path& path);

}  // namespace vhdx_inspect::detail::platform
