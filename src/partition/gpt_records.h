// The GUID partition table header and partition entry, as the UEFI
// specification lays them out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "encoding/little_endian.h"

namespace vhdx_inspect::detail::partition {

using encoding::Guid;
using encoding::le_u32;
using encoding::le_u64;

inline constexpr std::size_t kEfiHeaderSize = 92;
inline constexpr std::size_t kGptEntrySize = 128;
inline constexpr std::size_t kGptEntryCount = 128;
// An entry array is always taken as 128 entries of 128 bytes.
inline constexpr std::size_t kGptEntryArraySize = kGptEntryCount * kGptEntrySize;
inline constexpr std::size_t kPartitionNameUnits = 36;

struct EFI_HEADER {
  std::array<std::uint8_t, 8> Signature;
  le_u32 Revision;
  le_u32 HeaderSize;
  le_u32 HeaderCRC32;
  le_u32 Reserved;
  le_u64 MyLBA;
  le_u64 AlternateLBA;
  le_u64 FirstUsableLBA;
  le_u64 LastUsableLBA;
  Guid DiskGUID;
  le_u64 PartitionEntryLBA;
  le_u32 NumberOfPartitionEntries;
  le_u32 SizeOfPartitionEntry;
  le_u32 PartitionEntryArrayCRC32;
};
static_assert(sizeof(EFI_HEADER) == kEfiHeaderSize);
static_assert(offsetof(EFI_HEADER, Revision) == 8);
static_assert(offsetof(EFI_HEADER, HeaderSize) == 12);
static_assert(offsetof(EFI_HEADER, HeaderCRC32) == 16);
static_assert(offsetof(EFI_HEADER, MyLBA) == 24);
static_assert(offsetof(EFI_HEADER, AlternateLBA) == 32);
static_assert(offsetof(EFI_HEADER, FirstUsableLBA) == 40);
static_assert(offsetof(EFI_HEADER, LastUsableLBA) == 48);
static_assert(offsetof(EFI_HEADER, DiskGUID) == 56);
static_assert(offsetof(EFI_HEADER, PartitionEntryLBA) == 72);
static_assert(offsetof(EFI_HEADER, NumberOfPartitionEntries) == 80);
static_assert(offsetof(EFI_HEADER, SizeOfPartitionEntry) == 84);
static_assert(offsetof(EFI_HEADER, PartitionEntryArrayCRC32) == 88);

inline constexpr std::size_t kHeaderCrc32FieldOffset = offsetof(EFI_HEADER, HeaderCRC32);

struct GPT_PARTITION_ENTRY {
  Guid PartitionTypeGUID;
  Guid UniquePartitionGUID;
  le_u64 FirstLBA;
  le_u64 LastLBA;
  le_u64 Attributes;
  std::array<encoding::le_u16, kPartitionNameUnits> PartitionName;
};
static_assert(sizeof(GPT_PARTITION_ENTRY) == kGptEntrySize);
static_assert(offsetof(GPT_PARTITION_ENTRY, UniquePartitionGUID) == 16);
static_assert(offsetof(GPT_PARTITION_ENTRY, FirstLBA) == 32);
static_assert(offsetof(GPT_PARTITION_ENTRY, Attributes) == 48);
static_assert(offsetof(GPT_PARTITION_ENTRY, PartitionName) == 56);

inline constexpr std::array<std::uint8_t, 8> kEfiSignature{'E', 'F', 'I', ' ', 'P', 'A', 'R', 'T'};
inline constexpr std::uint32_t kEfiRevision = 0x00010000;

// Views the printers and the verification take: exactly the bytes they read.
using EfiHeaderBytes = std::span<const std::byte, kEfiHeaderSize>;
using GptEntryArrayBytes = std::span<const std::byte, kGptEntryArraySize>;

}  // namespace vhdx_inspect::detail::partition
