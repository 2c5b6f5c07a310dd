// What the tests of the two container stages share, in memory
// (tests/inspect/container_stages_test.cpp) and through the text program
// (tests/e2e/container_stages_test.cpp): where things lie in a built image,
// and the changes that damage one without touching anything else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/fields.h"
#include "support/guid.h"
#include "support/plugin_image.h"

namespace testsupport {

// The region offset of the plugin metadata item in a built image.
inline constexpr std::uint32_t kPluginItemOffset = 0x20000;
// How much of the metadata region an inspection reads.
inline constexpr std::uint64_t kMetadataBufferSize = 2097152;

// A GUID that is none of the image's.
inline constexpr Guid kSomeOtherGuid = GuidFromString("0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0");

// The sample image without a GPT trailer: the container stages are the
// whole inspection, and its report ends with the container report.
ImageDescription WithoutTrailer();

// Makes the stored checksum of header 1 or 2 wrong without touching anything
// else.
void BreakHeaderChecksum(PluginImage& image, int header);

// Writes `value` into `field` at region offset `offset` of the metadata
// region; no checksum covers it.
void PutInRegion(PluginImage& image, std::uint64_t offset, Field field, const FieldValue& value);

// The bytes of `text`.
std::vector<std::byte> Bytes(const std::string& text);

// `text` as UTF-16LE bytes, without a terminator.
std::string Utf16Bytes(std::u16string_view text);

}  // namespace testsupport
