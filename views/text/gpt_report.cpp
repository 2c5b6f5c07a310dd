#include "views/text/gpt_report.h"

#include <algorithm>
#include <array>
#include <string>

#include "views/text/diagnostic_lines.h"
#include "views/text/number_format.h"

namespace vhdx_inspect::views::text {
namespace {

using vhdx_inspect::Check;
using vhdx_inspect::Finding;
using vhdx_inspect::GptSide;

constexpr std::size_t kMaxNameUnits = 36;

// The signature bytes up to the first zero byte.
std::string SignatureText(const vhdx_inspect::GptRecord& gpt) {
  const auto end = std::find(gpt.signature.begin(), gpt.signature.end(), 0);
  return std::string(gpt.signature.begin(), end);
}

// Writes the partition name as the report prints it, one byte per UTF-16
// code unit: a unit above 0xFF, which has no single-byte form, becomes '?'
// (so a code point beyond U+FFFF, two units, becomes "??"). At most 36 units,
// gathered on the stack: a string for each entry cost an allocation.
void WriteSingleByteName(std::string_view utf8, std::ostream& out) {
  std::array<char, kMaxNameUnits> name{};
  std::size_t length = 0;
  const auto put = [&](char c) {
    if (length < name.size()) name[length++] = c;
  };
  for (std::size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      put(static_cast<char>(lead));
      i += 1;
    } else if (lead < 0xE0 && i + 1 < utf8.size()) {  // two bytes: U+0080 to U+07FF
      const unsigned codePoint = ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      put(codePoint <= 0xFF ? static_cast<char>(codePoint) : '?');
      i += 2;
    } else if (lead < 0xF0) {  // three bytes: one unit above 0xFF
      put('?');
      i += 3;
    } else {  // four bytes: a surrogate pair
      put('?');
      put('?');
      i += 4;
    }
  }
  out.write(name.data(), static_cast<std::streamsize>(length));
}

bool ComparesTheHeaders(Check check) {
  return check == Check::kGptMyLba || check == Check::kGptAlternateLba || check == Check::kGptFirstUsableLba ||
         check == Check::kGptLastUsableLba;
}

void PrintFinding(const Finding& finding, std::ostream& out) {
  out << "\t" << FindingText(finding.check) << "  " << std::endl;
  if (!finding.value || !finding.compared) return;
  out << "\t\tHeader value:     " << HexWithPrefix(*finding.value) << std::endl;
  out << (finding.side ? "\t\tCalculated value: " : "\t\tTrailer value:    ") << HexWithPrefix(*finding.compared)
      << std::endl;
}

template <typename Belongs>
void PrintSection(const char* heading, const std::vector<Finding>& findings, Belongs belongs, std::ostream& out) {
  out << std::endl;
  out << heading << std::endl;
  for (const Finding& finding : findings) {
    if (belongs(finding)) PrintFinding(finding, out);
  }
}

}  // namespace

void PrintEfiHeader(const vhdx_inspect::GptRecord& gpt, std::ostream& out) {
  out << std::endl;
  out << "EFI Header " << std::endl;
  out << std::endl;
  out << "\tSignature:                  " << SignatureText(gpt) << std::endl;
  out << "\tRevision:                   " << HexWithPrefix(gpt.revision) << std::endl;
  out << "\tHeaderSize:                 " << HexWithPrefix(gpt.header_size) << std::endl;
  out << "\tHeaderCRC32:                " << HexWithPrefix(gpt.header_crc32) << std::endl;
  out << "\tMyLBA:                      " << HexWithPrefix(gpt.my_lba) << std::endl;
  out << "\tAlternateLBA:               " << HexWithPrefix(gpt.alternate_lba) << std::endl;
  out << "\tFirstUsableLBA:             " << HexWithPrefix(gpt.first_usable_lba) << std::endl;
  out << "\tLastUsableLBA:              " << HexWithPrefix(gpt.last_usable_lba) << std::endl;
  out << "\tPartitionEntryLBA:          " << HexWithPrefix(gpt.partition_entry_lba) << std::endl;
  out << "\tNumberOfPartitionEntries:   " << HexWithPrefix(gpt.number_of_partition_entries) << std::endl;
  out << "\tSizeOfPartitionEntry:       " << HexWithPrefix(gpt.size_of_partition_entry) << std::endl;
  out << "\tPartitionEntryArrayCRC32:   " << HexWithPrefix(gpt.partition_entry_array_crc32) << std::endl;
}

void PrintGptPartitionEntries(const std::vector<vhdx_inspect::GptEntryRecord>& entries, std::ostream& out) {
  std::size_t n = 0;
  for (const vhdx_inspect::GptEntryRecord& entry : entries) {
    out << std::endl;
    out << "\tGPT Partition Entry " << Decimal(++n) << std::endl;
    out << std::endl;
    PrintGptPartitionEntry(entry, out);
  }
}

void PrintGptPartitionEntry(const vhdx_inspect::GptEntryRecord& entry, std::ostream& out) {
  out << "\t\tPartition Type:  " << entry.type_name << std::endl;
  out << "\t\tFirstLBA:        " << HexWithPrefix(entry.first_lba) << std::endl;
  out << "\t\tLastLBA:         " << HexWithPrefix(entry.last_lba) << std::endl;
  out << "\t\tAttributes:      " << HexWithPrefix(entry.attributes) << std::endl;
  out << "\t\tPartitionName:   ";
  WriteSingleByteName(entry.name, out);
  out << std::endl;
  if (!entry.name_fits_type) out << "\t\t\t" << kPartitionNameInvalid << "  " << std::endl;
}

void PrintVerification(const std::vector<Finding>& findings, std::ostream& out) {
  PrintSection(
      "Verifying the EFI header", findings, [](const Finding& f) { return f.side == GptSide::kPrimary; }, out);
  PrintSection(
      "Verifying the EFI trailer", findings, [](const Finding& f) { return f.side == GptSide::kBackup; }, out);
  PrintSection(
      "Verifying the EFI LBA entries", findings, [](const Finding& f) { return ComparesTheHeaders(f.check); }, out);
  PrintSection(
      "Verifying the PartitionEntryArrayCRC32", findings,
      [](const Finding& f) { return f.check == Check::kGptEntryArrayCrcAgreement; }, out);
}

}  // namespace vhdx_inspect::views::text
