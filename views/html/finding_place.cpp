#include "views/html/finding_place.h"

#include <string_view>

namespace vhdx_inspect::views::html {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

Structure StructureOf(std::string_view check) {
  // Whole names first, then by the structure before the first dot.
  if (check == "header.log_place" || check == "header.log_guid") return Structure::kLog;
  if (check == "plugin.mbr_gpt_size_zero") return Structure::kPartitionArea;
  if (check == "plugin.trailer_offset_zero") return Structure::kGptTrailer;
  if (check == "file.truncated" || check == "log.flushed_offset") return Structure::kFileEnd;
  if (check == "gpt.partition_name") return Structure::kPartition;
  if (check == "gpt.entry_array_crc" || check == "gpt.entry_array_crc_agreement" ||
      check == "gpt.number_of_partition_entries" || check == "gpt.size_of_partition_entry") {
    return Structure::kGptEntries;
  }
  if (StartsWith(check, "gpt.")) return Structure::kGptHeader;
  if (StartsWith(check, "header_section.")) return Structure::kHeaderSection;
  if (StartsWith(check, "file_identifier.")) return Structure::kFileIdentifier;
  if (StartsWith(check, "header.")) return Structure::kHeaders;
  if (StartsWith(check, "region_table.")) return Structure::kRegionTables;
  if (StartsWith(check, "bat.")) return Structure::kBatRegion;
  if (StartsWith(check, "log.")) return Structure::kLog;
  if (StartsWith(check, "partition_area.") || StartsWith(check, "partition_tables.")) {
    return Structure::kPartitionArea;
  }
  if (StartsWith(check, "gpt_trailer.")) return Structure::kGptTrailer;
  for (const std::string_view metadata :
       {"metadata.", "metadata_table.", "metadata_region.", "plugin.", "volume.", "file_parameters."}) {
    if (StartsWith(check, metadata)) return Structure::kMetadataRegion;
  }
  return Structure::kWholeFile;
}

}  // namespace

FindingPlace PlaceOf(const Finding& finding) {
  FindingPlace place;
  place.side = finding.side;
  place.index = finding.entry;
  // A structure finding that names an offset is drawn there.
  if (finding.offset && !finding.severity.empty()) {
    place.structure = Structure::kFileOffset;
    place.offset = finding.offset;
    return place;
  }
  place.structure = StructureOf(finding.check);
  return place;
}

bool OnDisk(Structure structure) {
  return structure == Structure::kGptHeader || structure == Structure::kGptEntries ||
         structure == Structure::kPartition;
}

}  // namespace vhdx_inspect::views::html
