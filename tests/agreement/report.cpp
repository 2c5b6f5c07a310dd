#include "report.h"

#include <sstream>
#include <stdexcept>

namespace agreement {
namespace {

const std::vector<std::string> kVerificationHeadings = {
    "Verifying the EFI header",
    "Verifying the EFI trailer",
    "Verifying the EFI LBA entries",
    "Verifying the PartitionEntryArrayCRC32",
};

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

// "\t\tFirstLBA:        0x800" -> {"FirstLBA", "0x800"}; nullopt for a line without a colon.
std::optional<std::pair<std::string, std::string>> LabelAndValue(const std::string& line) {
  std::size_t start = line.find_first_not_of('\t');
  const std::size_t colon = line.find(':');
  if (start == std::string::npos || colon == std::string::npos || colon < start) return std::nullopt;
  std::size_t valueStart = line.find_first_not_of(' ', colon + 1);
  if (valueStart == std::string::npos) valueStart = line.size();
  return std::make_pair(line.substr(start, colon - start), line.substr(valueStart));
}

}  // namespace

std::uint64_t ParseNumber(const std::string& text) {
  std::size_t used = 0;
  const bool hex = StartsWith(text, "0x");
  const std::uint64_t value = std::stoull(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
  if (used != text.size() - (hex ? 2 : 0)) throw std::invalid_argument("not a number: " + text);
  return value;
}

std::string Hex(std::uint64_t value) {
  if (value == 0) return "0";
  std::ostringstream out;
  out << "0x" << std::hex << value;
  return out.str();
}

Report ParseReport(const std::string& out) {
  Report report;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) report.lines.push_back(line);
  return report;
}

std::optional<std::string> Report::ValueAfter(const std::string& label, std::size_t from) const {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (StartsWith(lines[i], label)) return lines[i].substr(label.size());
  }
  return std::nullopt;
}

std::optional<std::uint64_t> Report::NumberAfter(const std::string& label, std::size_t from) const {
  const auto value = ValueAfter(label, from);
  if (!value) return std::nullopt;
  return ParseNumber(*value);
}

std::optional<std::size_t> Report::Find(const std::string& line, std::size_t from) const {
  for (std::size_t i = from; i < lines.size(); ++i) {
    if (lines[i] == line) return i;
  }
  return std::nullopt;
}

std::map<std::string, std::uint64_t> Report::EfiHeaderAfter(std::size_t from) const {
  std::map<std::string, std::uint64_t> fields;
  const auto start = Find("EFI Header ", from);
  if (!start) return fields;
  // The block: an empty line, the signature, eleven numeric lines.
  for (std::size_t i = *start + 3; i < lines.size() && i <= *start + 13; ++i) {
    const auto field = LabelAndValue(lines[i]);
    if (!field) break;
    fields[field->first] = ParseNumber(field->second);
  }
  return fields;
}

std::vector<ReportedEntry> Report::EntriesBetween(std::size_t from, std::size_t to) const {
  std::vector<ReportedEntry> entries;
  const std::string heading = "\tGPT Partition Entry ";
  for (std::size_t i = from; i < to && i < lines.size(); ++i) {
    if (StartsWith(lines[i], heading)) {
      ReportedEntry entry;
      entry.number = std::stoi(lines[i].substr(heading.size()));
      entries.push_back(entry);
      continue;
    }
    if (entries.empty()) continue;
    ReportedEntry& entry = entries.back();
    if (lines[i] == "\t\t\tPartitionName is invalid.  ") {
      entry.nameInvalid = true;
      continue;
    }
    if (!StartsWith(lines[i], "\t\t")) continue;
    const auto field = LabelAndValue(lines[i]);
    if (!field) continue;
    if (field->first == "Partition Type") entry.type = field->second;
    if (field->first == "FirstLBA") entry.firstLba = ParseNumber(field->second);
    if (field->first == "LastLBA") entry.lastLba = ParseNumber(field->second);
    if (field->first == "Attributes") entry.attributes = ParseNumber(field->second);
    // The name is everything after the label's padding to 17 characters.
    if (field->first == "PartitionName") entry.name = lines[i].substr(2 + 17);
  }
  return entries;
}

std::map<std::string, VerificationLines> Report::Verification() const {
  std::map<std::string, VerificationLines> sections;
  std::string current;
  for (const std::string& line : lines) {
    bool heading = false;
    for (const std::string& h : kVerificationHeadings) {
      if (line == h) {
        current = h;
        sections[h];
        heading = true;
      }
    }
    if (!heading && !current.empty() && !line.empty()) sections[current].push_back(line);
  }
  return sections;
}

}  // namespace agreement
