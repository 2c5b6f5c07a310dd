// Reading values back out of a vhdx-inspect report, by the labels the tool
// documents, so that they can be set beside what another tool shows.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace agreement {

// One "GPT Partition Entry n" block.
struct ReportedEntry {
  int number = 0;
  std::string type;  // the "Partition Type:  " text
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;
  std::uint64_t attributes = 0;
  std::string name;
  bool nameInvalid = false;  // followed by the "PartitionName is invalid.  " line
};

// The lines of one "Verifying ..." section, empty lines left out.
using VerificationLines = std::vector<std::string>;

struct Report {
  std::vector<std::string> lines;

  // The value after `label` on the first line that begins with it, from line
  // `from` on; nullopt when no line does.
  std::optional<std::string> ValueAfter(const std::string& label, std::size_t from = 0) const;
  // The same value as a number: "0x..." hexadecimal, anything else decimal.
  std::optional<std::uint64_t> NumberAfter(const std::string& label, std::size_t from = 0) const;

  // Index of the first line equal to `line`, from `from` on.
  std::optional<std::size_t> Find(const std::string& line, std::size_t from = 0) const;

  // The GPT header fields ("\tMyLBA:    ..." and so on) of the "EFI Header"
  // block that follows line `from`, by label without its padding ("MyLBA").
  std::map<std::string, std::uint64_t> EfiHeaderAfter(std::size_t from) const;

  // The partition entry blocks between lines `from` and `to`.
  std::vector<ReportedEntry> EntriesBetween(std::size_t from, std::size_t to) const;

  // The lines under each "Verifying ..." heading; empty when the report has none.
  std::map<std::string, VerificationLines> Verification() const;
};

Report ParseReport(const std::string& out);

std::uint64_t ParseNumber(const std::string& text);  // "0x1f", "0" or "31"

// "0x" and lower-case hexadecimal digits, 0 as a bare 0: how the tool writes a
// hexadecimal value.
std::string Hex(std::uint64_t value);

}  // namespace agreement
