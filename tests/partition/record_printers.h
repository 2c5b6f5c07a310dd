// How GoogleTest shows the library's partition records and findings when an
// expectation fails: every field by name, numbers in hexadecimal. Only for
// the test's own messages; the report's words are the views'.
#pragma once

#include <cstdint>
#include <ios>
#include <optional>
#include <ostream>

#include "vhdx_inspect/check.h"
#include "vhdx_inspect/inspection.h"
#include "vhdx_inspect/records.h"

namespace vhdx_inspect {

namespace testing_detail {

inline void Field(std::ostream& out, const char* name, std::uint64_t value) {
  out << name << "=0x" << std::hex << value << std::dec << " ";
}

inline void Field(std::ostream& out, const char* name, const std::optional<std::uint64_t>& value) {
  if (value) {
    Field(out, name, *value);
  } else {
    out << name << "=none ";
  }
}

}  // namespace testing_detail

inline void PrintTo(const Finding& f, std::ostream* out) {
  *out << "{" << CheckName(f.check) << " side="
       << (!f.side                        ? "none"
           : *f.side == GptSide::kPrimary ? "primary"
                                          : "backup")
       << " ";
  testing_detail::Field(*out, "value", f.value);
  testing_detail::Field(*out, "compared", f.compared);
  *out << "description=\"" << f.description << "\"}";
}

inline void PrintTo(const MbrPartitionRecord& r, std::ostream* out) {
  *out << "{bootable=" << r.bootable << " ";
  testing_detail::Field(*out, "status", r.status);
  testing_detail::Field(*out, "start_head", r.start_head);
  testing_detail::Field(*out, "start_cylinder", r.start_cylinder);
  testing_detail::Field(*out, "start_sector", r.start_sector);
  testing_detail::Field(*out, "type", r.type);
  testing_detail::Field(*out, "end_head", r.end_head);
  testing_detail::Field(*out, "end_cylinder", r.end_cylinder);
  testing_detail::Field(*out, "end_sector", r.end_sector);
  testing_detail::Field(*out, "sector_offset", r.sector_offset);
  testing_detail::Field(*out, "sector_count", r.sector_count);
  *out << "}";
}

inline void PrintTo(const GptEntryRecord& e, std::ostream* out) {
  *out << "{type_guid=" << FormatGuid(e.type_guid) << " unique_guid=" << FormatGuid(e.unique_guid) << " ";
  testing_detail::Field(*out, "first_lba", e.first_lba);
  testing_detail::Field(*out, "last_lba", e.last_lba);
  testing_detail::Field(*out, "attributes", e.attributes);
  *out << "type_name=\"" << e.type_name << "\" name=\"" << e.name << "\" name_fits_type=" << e.name_fits_type << "}";
}

}  // namespace vhdx_inspect
