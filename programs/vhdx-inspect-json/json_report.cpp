#include "vhdx-inspect-json/json_report.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "vhdx_inspect/check.h"
#include "vhdx_inspect/records.h"
#include "vhdx_inspect/verdict.h"

namespace json_report {
namespace {

using nlohmann::ordered_json;
using vhdx_inspect::GptSide;

// Every object here starts as an empty object (ordered_json::object()), not
// as null: null turns into an object at its first key, and when there is no
// memory for that object, nlohmann's destructor follows the null pointer it
// leaves behind (a crash instead of std::bad_alloc).

const char* SideName(GptSide side) { return side == GptSide::kPrimary ? "primary" : "backup"; }

// Sets `key` only when the value is there: an absent value is an absent key,
// never a zero that looks real.
template <typename T>
void PutIfPresent(ordered_json& object, const char* key, const std::optional<T>& value) {
  if (value) object[key] = *value;
}

ordered_json FailureObject(const vhdx_inspect::Failure& failure) {
  ordered_json object = ordered_json::object();
  object["check"] = vhdx_inspect::CheckName(failure.check);
  object["message"] = failure.message;
  PutIfPresent(object, "system_status", failure.system_status);
  PutIfPresent(object, "found", failure.found);
  PutIfPresent(object, "expected", failure.expected);
  return object;
}

ordered_json FindingObject(const vhdx_inspect::Finding& finding) {
  ordered_json object = ordered_json::object();
  object["check"] = vhdx_inspect::CheckName(finding.check);
  if (finding.side) object["header"] = SideName(*finding.side);
  object["message"] = finding.message;
  PutIfPresent(object, "value", finding.value);
  PutIfPresent(object, "compared", finding.compared);
  return object;
}

ordered_json WarningObject(const vhdx_inspect::Warning& warning) {
  ordered_json object = ordered_json::object();
  object["check"] = vhdx_inspect::CheckName(warning.check);
  object["message"] = warning.message;
  PutIfPresent(object, "entry", warning.entry);
  if (warning.side) object["header"] = SideName(*warning.side);
  return object;
}

ordered_json HeaderObject(const vhdx_inspect::HeaderRecord& header) {
  ordered_json object = ordered_json::object();
  object["sequence_number"] = header.sequence_number;
  object["version"] = header.version;
  object["log_version"] = header.log_version;
  object["log_length"] = header.log_length;
  object["log_offset"] = header.log_offset;
  object["file_write_guid"] = vhdx_inspect::FormatGuid(header.file_write_guid);
  object["data_write_guid"] = vhdx_inspect::FormatGuid(header.data_write_guid);
  object["log_guid"] = vhdx_inspect::FormatGuid(header.log_guid);
  return object;
}

ordered_json RegionsObject(const vhdx_inspect::RegionsRecord& regions) {
  ordered_json object = ordered_json::object();
  object["bat_offset"] = regions.bat_offset;
  object["bat_length"] = regions.bat_length;
  object["metadata_offset"] = regions.metadata_offset;
  object["metadata_length"] = regions.metadata_length;
  object["data_area_offset"] = regions.data_area_offset;
  return object;
}

ordered_json MetadataObject(const vhdx_inspect::MetadataRecord& metadata) {
  ordered_json object = ordered_json::object();
  object["block_size"] = metadata.block_size;
  object["virtual_disk_size"] = metadata.virtual_disk_size;
  object["logical_sector_size"] = metadata.logical_sector_size;
  object["physical_sector_size"] = metadata.physical_sector_size;
  object["chunk_ratio"] = metadata.chunk_ratio;
  return object;
}

ordered_json PluginObject(const vhdx_inspect::PluginHeaderRecord& plugin) {
  ordered_json object = ordered_json::object();
  object["offset"] = plugin.offset;
  object["length"] = plugin.length;
  object["revision"] = plugin.revision;
  object["virtual_disk_size"] = plugin.virtual_disk_size;
  object["mbr_gpt_size"] = plugin.mbr_gpt_size;
  object["gpt_trailer_length"] = plugin.gpt_trailer_length;
  object["gpt_trailer_offset"] = plugin.gpt_trailer_offset;
  object["max_metadata_size"] = plugin.max_metadata_size;
  object["total_metadata_size"] = plugin.total_metadata_size;
  return object;
}

ordered_json VolumeObject(const vhdx_inspect::VolumeRecord& volume) {
  ordered_json object = ordered_json::object();
  object["size"] = volume.size;
  object["metadata_offset"] = volume.metadata_offset;
  object["my_size"] = volume.my_size;
  object["volume_size"] = volume.volume_size;
  object["password_size"] = volume.password_size;
  object["password_offset"] = volume.password_offset;
  object["image_file_list_bytes"] = volume.image_file_list_bytes;
  object["image_file_list"] = volume.image_file_list;
  return object;
}

ordered_json PartitionAreaObject(const vhdx_inspect::PartitionAreaRecord& area) {
  ordered_json object = ordered_json::object();
  object["mbr_gpt_size"] = area.mbr_gpt_size;
  object["gpt_trailer_length"] = area.gpt_trailer_length;
  object["gpt_trailer_offset"] = area.gpt_trailer_offset;
  return object;
}

ordered_json MbrObject(const vhdx_inspect::MbrRecord& mbr) {
  ordered_json object = ordered_json::object();
  object["disk_signature"] = mbr.disk_signature;
  ordered_json partitions = ordered_json::array();
  for (const vhdx_inspect::MbrPartitionRecord& partition : mbr.partitions) {
    ordered_json entry = ordered_json::object();
    entry["bootable"] = partition.bootable;
    entry["status"] = partition.status;
    entry["start_head"] = partition.start_head;
    entry["start_cylinder"] = partition.start_cylinder;
    entry["start_sector"] = partition.start_sector;
    entry["type"] = partition.type;
    entry["end_head"] = partition.end_head;
    entry["end_cylinder"] = partition.end_cylinder;
    entry["end_sector"] = partition.end_sector;
    entry["sector_offset"] = partition.sector_offset;
    entry["sector_count"] = partition.sector_count;
    partitions.push_back(std::move(entry));
  }
  object["partitions"] = std::move(partitions);
  return object;
}

// The 8 signature bytes in order, two lower-case hexadecimal digits each.
std::string SignatureHex(const std::array<std::uint8_t, 8>& signature) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(16);
  for (const std::uint8_t byte : signature) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0f];
  }
  return hex;
}

ordered_json GptObject(const vhdx_inspect::GptRecord& gpt) {
  ordered_json object = ordered_json::object();
  object["signature"] = SignatureHex(gpt.signature);
  object["revision"] = gpt.revision;
  object["header_size"] = gpt.header_size;
  object["header_crc32"] = gpt.header_crc32;
  object["my_lba"] = gpt.my_lba;
  object["alternate_lba"] = gpt.alternate_lba;
  object["first_usable_lba"] = gpt.first_usable_lba;
  object["last_usable_lba"] = gpt.last_usable_lba;
  object["disk_guid"] = vhdx_inspect::FormatGuid(gpt.disk_guid);
  object["partition_entry_lba"] = gpt.partition_entry_lba;
  object["number_of_partition_entries"] = gpt.number_of_partition_entries;
  object["size_of_partition_entry"] = gpt.size_of_partition_entry;
  object["partition_entry_array_crc32"] = gpt.partition_entry_array_crc32;
  ordered_json entries = ordered_json::array();
  for (const vhdx_inspect::GptEntryRecord& record : gpt.entries) {
    ordered_json entry = ordered_json::object();
    entry["type_guid"] = vhdx_inspect::FormatGuid(record.type_guid);
    entry["unique_guid"] = vhdx_inspect::FormatGuid(record.unique_guid);
    entry["first_lba"] = record.first_lba;
    entry["last_lba"] = record.last_lba;
    entry["attributes"] = record.attributes;
    entry["type_name"] = record.type_name;
    entry["name"] = record.name;
    entry["name_fits_type"] = record.name_fits_type;
    entries.push_back(std::move(entry));
  }
  object["entries"] = std::move(entries);
  return object;
}

}  // namespace

ordered_json JsonReport(const vhdx_inspect::Inspection& inspection) {
  ordered_json object = ordered_json::object();
  object["schema_version"] = kSchemaVersion;
  object["path"] = inspection.path;
  object["verdict"] = vhdx_inspect::VerdictName(inspection.verdict);
  if (inspection.failure) object["failure"] = FailureObject(*inspection.failure);

  ordered_json findings = ordered_json::array();
  for (const vhdx_inspect::Finding& finding : inspection.gpt_findings) findings.push_back(FindingObject(finding));
  object["gpt_findings"] = std::move(findings);
  ordered_json warnings = ordered_json::array();
  for (const vhdx_inspect::Warning& warning : inspection.warnings) warnings.push_back(WarningObject(warning));
  object["warnings"] = std::move(warnings);

  if (inspection.header) object["header"] = HeaderObject(*inspection.header);
  if (inspection.regions) object["regions"] = RegionsObject(*inspection.regions);
  if (inspection.metadata) object["metadata"] = MetadataObject(*inspection.metadata);
  if (inspection.plugin) {
    object["plugin"] = PluginObject(*inspection.plugin);
    ordered_json volumes = ordered_json::array();
    for (const vhdx_inspect::VolumeRecord& volume : inspection.volumes) volumes.push_back(VolumeObject(volume));
    object["volumes"] = std::move(volumes);
  }
  if (inspection.partition_area) object["partition_area"] = PartitionAreaObject(*inspection.partition_area);
  if (inspection.mbr) object["mbr"] = MbrObject(*inspection.mbr);
  if (inspection.primary_gpt) object["primary_gpt"] = GptObject(*inspection.primary_gpt);
  if (inspection.backup_gpt) object["backup_gpt"] = GptObject(*inspection.backup_gpt);
  return object;
}

std::string JsonLine(const vhdx_inspect::Inspection& inspection) {
  return JsonReport(inspection).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace json_report
