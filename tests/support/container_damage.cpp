#include "support/container_damage.h"

namespace testsupport {

ImageDescription WithoutTrailer() {
  ImageDescription d;
  d.gptTrailer = false;
  return d;
}

void BreakHeaderChecksum(PluginImage& image, int header) {
  const std::uint64_t at = image.layout().header(header);
  image.Put(at, header_field::kChecksum, image.Get(at, header_field::kChecksum) ^ 0x1);
}

void PutInRegion(PluginImage& image, std::uint64_t offset, Field field, const FieldValue& value) {
  image.Put(image.layout().metadataRegion + offset, field, value);
}

std::vector<std::byte> Bytes(const std::string& text) {
  std::vector<std::byte> bytes;
  for (const char c : text) bytes.push_back(static_cast<std::byte>(c));
  return bytes;
}

std::string Utf16Bytes(std::u16string_view text) {
  std::string bytes;
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

}  // namespace testsupport
