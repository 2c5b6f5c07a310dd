#include "support/checksums.h"

namespace testsupport {
namespace {

std::uint32_t ReflectedCrc(std::span<const std::byte> bytes, std::uint32_t polynomial) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::byte b : bytes) {
    crc ^= std::to_integer<std::uint32_t>(b);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 1u) != 0 ? (crc >> 1) ^ polynomial : crc >> 1;
    }
  }
  return crc ^ 0xFFFFFFFFu;
}

}  // namespace

std::uint32_t Crc32c(std::span<const std::byte> bytes) { return ReflectedCrc(bytes, 0x82F63B78u); }

std::uint32_t Crc32(std::span<const std::byte> bytes) { return ReflectedCrc(bytes, 0xEDB88320u); }

}  // namespace testsupport
