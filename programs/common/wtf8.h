// UTF-16 names carried as 8-bit text without loss. A Windows name is any
// sequence of UTF-16 code units, an unpaired surrogate included; WTF-8
// writes each code point as UTF-8 does and an unpaired surrogate as the three
// bytes of its own value, so that every name comes back exactly. Text that
// is valid UTF-8 is its own WTF-8: a name from a UTF-8 list needs nothing.
#pragma once

#include <string>
#include <string_view>

namespace vhdx_programs {

std::string Wtf8FromUtf16(std::u16string_view units);

// Bytes that are neither UTF-8 nor an encoded surrogate become U+FFFD, one
// for each byte that cannot start or continue a sequence.
std::u16string Utf16FromWtf8(std::string_view text);

}  // namespace vhdx_programs
