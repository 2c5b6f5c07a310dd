// An image in memory standing in for a file that counts what is read from
// it: each request with its position and length, so that a test can hold
// the reader to a budget of requests and bytes and see that no byte is read
// twice. It tells its length, or, standing in for a pipe, does not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/file.h"

namespace testsupport {

struct ReadRequest {
  std::uint64_t position = 0;
  std::uint32_t length = 0;  // as asked for
  std::uint32_t delivered = 0;

  friend bool operator==(const ReadRequest&, const ReadRequest&) = default;
};

struct ReadCount {
  std::vector<ReadRequest> requests;
  std::uint64_t bytes() const;  // delivered, all requests
  // True when two requests delivered the same byte.
  bool anyByteReadTwice() const;
};

enum class LengthKnown { kYes, kNo };

// Opens `bytes`, which must outlive the file, counting into `count`, which
// must too.
vhdx_inspect::detail::platform::OpenResult OpenCountingFile(std::span<const std::byte> bytes, ReadCount& count,
                                                            LengthKnown lengthKnown = LengthKnown::kYes);

}  // namespace testsupport
