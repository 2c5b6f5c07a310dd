// GUIDs as a plugin VHDX image stores them, and the ones it uses.
#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace testsupport {

// A GUID in its 16-byte on-disk layout: Data1 as a 32-bit, Data2 and Data3 as
// 16-bit little-endian integers, then the 8 bytes of Data4 in order.
struct Guid {
  std::array<std::uint8_t, 16> bytes{};
  friend bool operator==(const Guid&, const Guid&) = default;
};

namespace guid_detail {

constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  throw std::invalid_argument("GUID text holds a character that is not a hexadecimal digit");
}

constexpr std::uint8_t HexByte(std::string_view text, std::size_t at) {
  return static_cast<std::uint8_t>(HexDigit(text[at]) * 16 + HexDigit(text[at + 1]));
}

}  // namespace guid_detail

// Converts the registry form "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7" (braces
// optional, either case) to the on-disk bytes A2 A0 D0 EB E5 B9 33 44 87 C0
// 68 B6 B7 26 99 C7. Throws std::invalid_argument on any other text.
constexpr Guid GuidFromString(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
    text = text.substr(1, 36);
  }
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
    throw std::invalid_argument("GUID text is not in the form XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX");
  }
  using guid_detail::HexByte;
  Guid guid;
  // Data1, Data2 and Data3 are stored little-endian, Data4 in text order.
  constexpr std::array<std::size_t, 16> kTextPositionOfByte = {6,  4,  2,  0,  11, 9,  16, 14,
                                                               19, 21, 24, 26, 28, 30, 32, 34};
  for (std::size_t i = 0; i < 16; ++i) guid.bytes[i] = HexByte(text, kTextPositionOfByte[i]);
  return guid;
}

// Regions of the region table (published VHDX values).
inline constexpr Guid kBatRegionGuid = GuidFromString("2DC27766-F623-4200-9D64-115E9BFD4A08");
inline constexpr Guid kMetadataRegionGuid = GuidFromString("8B7CA206-4790-4B9A-B8FE-575F050F886E");

// Metadata items (published VHDX values, and the plugin item).
inline constexpr Guid kFileParametersGuid = GuidFromString("CAA16737-FA36-4D43-B3B6-33F0AA44E76B");
inline constexpr Guid kVirtualDiskSizeGuid = GuidFromString("2FA54224-CD1B-4876-B211-5DBED83BF4B8");
inline constexpr Guid kLogicalSectorSizeGuid = GuidFromString("8141BF1D-A96F-4709-BA47-F233A8FAAB5F");
inline constexpr Guid kPhysicalSectorSizeGuid = GuidFromString("CDA348C7-445D-4471-9CC9-E9885251C556");
inline constexpr Guid kPage83DataGuid = GuidFromString("BECA12AB-B2E6-4523-93EF-C309E000C746");
inline constexpr Guid kPluginMetadataGuid = GuidFromString("E5F25862-2333-4BFD-99E7-4BE0541EAF16");

// GPT partition types (UEFI and Windows values).
inline constexpr Guid kBasicDataPartitionType = GuidFromString("EBD0A0A2-B9E5-4433-87C0-68B6B72699C7");
inline constexpr Guid kMicrosoftReservedPartitionType = GuidFromString("E3C9E316-0B5C-4DB8-817D-F92DF00215AE");
inline constexpr Guid kEfiSystemPartitionType = GuidFromString("C12A7328-F81F-11D2-BA4B-00A0C93EC93B");

// The names that go with those types.
inline constexpr std::u16string_view kBasicDataPartitionName = u"Basic data partition";
inline constexpr std::u16string_view kMicrosoftReservedPartitionName = u"Microsoft reserved partition";
inline constexpr std::u16string_view kEfiSystemPartitionName = u"EFI system partition";

}  // namespace testsupport
