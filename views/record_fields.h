// Every field of the inspection's records, named once: the JSON object
// (views/json/) and the Python module's classes are both made from these
// lists, so a field added to a record and here reaches both, under the same
// name and in the same order.
//
//   ForEachField(header, [&](const char* name, const auto& value) { ... });
#pragma once

#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <vector>

#include "vhdx_inspect/records.h"
#include "vhdx_inspect/structure.h"

namespace vhdx_inspect::views {

// One field: its published name and the record's member.
template <typename Record, typename Value>
struct Field {
  const char* name;
  Value Record::*member;
};

template <typename Record, typename Value>
Field(const char*, Value Record::*) -> Field<Record, Value>;

// FieldsOf<Record>::kList: the record's fields in published order.
template <typename Record>
struct FieldsOf;

// True for the records that have a list.
template <typename T>
concept DescribedRecord = requires {
  FieldsOf<T>::kList;
};

// True for a fixed or growing list of such records (the MBR's partitions,
// a GPT's entries).
template <typename T>
struct IsRecordList : std::false_type {};
template <DescribedRecord T, std::size_t N>
struct IsRecordList<std::array<T, N>> : std::true_type {};
template <DescribedRecord T>
struct IsRecordList<std::vector<T>> : std::true_type {};
template <typename T>
concept RecordList = IsRecordList<T>::value;

// Calls visit(name, member pointer) for each field of Record.
template <DescribedRecord Record, typename Visit>
constexpr void ForEachMember(Visit&& visit) {
  std::apply([&](const auto&... field) { (visit(field.name, field.member), ...); }, FieldsOf<Record>::kList);
}

// Calls visit(name, value) for each field of `record`.
template <DescribedRecord Record, typename Visit>
void ForEachField(const Record& record, Visit&& visit) {
  ForEachMember<Record>([&](const char* name, auto member) { visit(name, record.*member); });
}

template <>
struct FieldsOf<HeaderRecord> {
  static constexpr auto kList = std::make_tuple(
      Field{"sequence_number", &HeaderRecord::sequence_number}, Field{"version", &HeaderRecord::version},
      Field{"log_version", &HeaderRecord::log_version}, Field{"log_length", &HeaderRecord::log_length},
      Field{"log_offset", &HeaderRecord::log_offset}, Field{"file_write_guid", &HeaderRecord::file_write_guid},
      Field{"data_write_guid", &HeaderRecord::data_write_guid}, Field{"log_guid", &HeaderRecord::log_guid});
};

template <>
struct FieldsOf<RegionsRecord> {
  static constexpr auto kList =
      std::make_tuple(Field{"bat_offset", &RegionsRecord::bat_offset}, Field{"bat_length", &RegionsRecord::bat_length},
                      Field{"metadata_offset", &RegionsRecord::metadata_offset},
                      Field{"metadata_length", &RegionsRecord::metadata_length},
                      Field{"data_area_offset", &RegionsRecord::data_area_offset});
};

template <>
struct FieldsOf<MetadataRecord> {
  static constexpr auto kList = std::make_tuple(Field{"block_size", &MetadataRecord::block_size},
                                                Field{"virtual_disk_size", &MetadataRecord::virtual_disk_size},
                                                Field{"logical_sector_size", &MetadataRecord::logical_sector_size},
                                                Field{"physical_sector_size", &MetadataRecord::physical_sector_size},
                                                Field{"chunk_ratio", &MetadataRecord::chunk_ratio});
};

template <>
struct FieldsOf<PluginHeaderRecord> {
  static constexpr auto kList =
      std::make_tuple(Field{"offset", &PluginHeaderRecord::offset}, Field{"length", &PluginHeaderRecord::length},
                      Field{"revision", &PluginHeaderRecord::revision},
                      Field{"virtual_disk_size", &PluginHeaderRecord::virtual_disk_size},
                      Field{"mbr_gpt_size", &PluginHeaderRecord::mbr_gpt_size},
                      Field{"gpt_trailer_length", &PluginHeaderRecord::gpt_trailer_length},
                      Field{"gpt_trailer_offset", &PluginHeaderRecord::gpt_trailer_offset},
                      Field{"max_metadata_size", &PluginHeaderRecord::max_metadata_size},
                      Field{"total_metadata_size", &PluginHeaderRecord::total_metadata_size});
};

template <>
struct FieldsOf<VolumeRecord> {
  static constexpr auto kList = std::make_tuple(
      Field{"size", &VolumeRecord::size}, Field{"metadata_offset", &VolumeRecord::metadata_offset},
      Field{"my_size", &VolumeRecord::my_size}, Field{"volume_size", &VolumeRecord::volume_size},
      Field{"password_size", &VolumeRecord::password_size}, Field{"password_offset", &VolumeRecord::password_offset},
      Field{"image_file_list_bytes", &VolumeRecord::image_file_list_bytes},
      Field{"image_file_list", &VolumeRecord::image_file_list});
};

template <>
struct FieldsOf<PartitionAreaRecord> {
  static constexpr auto kList = std::make_tuple(Field{"mbr_gpt_size", &PartitionAreaRecord::mbr_gpt_size},
                                                Field{"gpt_trailer_length", &PartitionAreaRecord::gpt_trailer_length},
                                                Field{"gpt_trailer_offset", &PartitionAreaRecord::gpt_trailer_offset});
};

template <>
struct FieldsOf<MbrPartitionRecord> {
  static constexpr auto kList = std::make_tuple(
      Field{"bootable", &MbrPartitionRecord::bootable}, Field{"status", &MbrPartitionRecord::status},
      Field{"start_head", &MbrPartitionRecord::start_head},
      Field{"start_cylinder", &MbrPartitionRecord::start_cylinder},
      Field{"start_sector", &MbrPartitionRecord::start_sector}, Field{"type", &MbrPartitionRecord::type},
      Field{"end_head", &MbrPartitionRecord::end_head}, Field{"end_cylinder", &MbrPartitionRecord::end_cylinder},
      Field{"end_sector", &MbrPartitionRecord::end_sector}, Field{"sector_offset", &MbrPartitionRecord::sector_offset},
      Field{"sector_count", &MbrPartitionRecord::sector_count});
};

template <>
struct FieldsOf<MbrRecord> {
  static constexpr auto kList =
      std::make_tuple(Field{"disk_signature", &MbrRecord::disk_signature}, Field{"partitions", &MbrRecord::partitions});
};

template <>
struct FieldsOf<GptEntryRecord> {
  static constexpr auto kList = std::make_tuple(
      Field{"type_guid", &GptEntryRecord::type_guid}, Field{"unique_guid", &GptEntryRecord::unique_guid},
      Field{"first_lba", &GptEntryRecord::first_lba}, Field{"last_lba", &GptEntryRecord::last_lba},
      Field{"attributes", &GptEntryRecord::attributes}, Field{"type_name", &GptEntryRecord::type_name},
      Field{"name", &GptEntryRecord::name}, Field{"name_fits_type", &GptEntryRecord::name_fits_type});
};

template <>
struct FieldsOf<GptRecord> {
  static constexpr auto kList = std::make_tuple(
      Field{"signature", &GptRecord::signature}, Field{"revision", &GptRecord::revision},
      Field{"header_size", &GptRecord::header_size}, Field{"header_crc32", &GptRecord::header_crc32},
      Field{"my_lba", &GptRecord::my_lba}, Field{"alternate_lba", &GptRecord::alternate_lba},
      Field{"first_usable_lba", &GptRecord::first_usable_lba}, Field{"last_usable_lba", &GptRecord::last_usable_lba},
      Field{"disk_guid", &GptRecord::disk_guid}, Field{"partition_entry_lba", &GptRecord::partition_entry_lba},
      Field{"number_of_partition_entries", &GptRecord::number_of_partition_entries},
      Field{"size_of_partition_entry", &GptRecord::size_of_partition_entry},
      Field{"partition_entry_array_crc32", &GptRecord::partition_entry_array_crc32},
      Field{"entries", &GptRecord::entries});
};

template <>
struct FieldsOf<HeaderCopyRecord> {
  static constexpr auto kList = std::make_tuple(
      Field{"offset", &HeaderCopyRecord::offset}, Field{"signature_valid", &HeaderCopyRecord::signature_valid},
      Field{"checksum_valid", &HeaderCopyRecord::checksum_valid}, Field{"current", &HeaderCopyRecord::current},
      Field{"sequence_number", &HeaderCopyRecord::sequence_number}, Field{"version", &HeaderCopyRecord::version},
      Field{"log_version", &HeaderCopyRecord::log_version});
};

template <>
struct FieldsOf<RegionTableCopyRecord> {
  static constexpr auto kList = std::make_tuple(Field{"offset", &RegionTableCopyRecord::offset},
                                                Field{"signature_valid", &RegionTableCopyRecord::signature_valid},
                                                Field{"checksum_valid", &RegionTableCopyRecord::checksum_valid},
                                                Field{"entry_count", &RegionTableCopyRecord::entry_count},
                                                Field{"same_as_copy_1", &RegionTableCopyRecord::same_as_copy_1});
};

template <>
struct FieldsOf<ExtentRecord> {
  static constexpr auto kList =
      std::make_tuple(Field{"offset", &ExtentRecord::offset}, Field{"length", &ExtentRecord::length});
};

template <>
struct FieldsOf<BatRecord> {
  static constexpr auto kList = std::make_tuple(
      Field{"offset", &BatRecord::offset}, Field{"length", &BatRecord::length},
      Field{"payload_blocks", &BatRecord::payload_blocks}, Field{"chunk_ratio", &BatRecord::chunk_ratio},
      Field{"entries", &BatRecord::entries}, Field{"entries_read", &BatRecord::entries_read},
      Field{"not_present", &BatRecord::not_present}, Field{"undefined", &BatRecord::undefined},
      Field{"zero", &BatRecord::zero}, Field{"unmapped", &BatRecord::unmapped},
      Field{"fully_present", &BatRecord::fully_present}, Field{"partially_present", &BatRecord::partially_present},
      Field{"reserved_state", &BatRecord::reserved_state},
      Field{"sector_bitmaps_present", &BatRecord::sector_bitmaps_present},
      Field{"sector_bitmaps_other", &BatRecord::sector_bitmaps_other},
      Field{"present_blocks", &BatRecord::present_blocks},
      Field{"present_blocks_complete", &BatRecord::present_blocks_complete});
};

template <>
struct FieldsOf<StructureRecord> {
  static constexpr auto kList = std::make_tuple(
      Field{"file_size", &StructureRecord::file_size}, Field{"headers", &StructureRecord::headers},
      Field{"region_tables", &StructureRecord::region_tables}, Field{"log_offset", &StructureRecord::log_offset},
      Field{"log_length", &StructureRecord::log_length}, Field{"log_state", &StructureRecord::log_state},
      Field{"log_entries", &StructureRecord::log_entries},
      Field{"log_first_sequence", &StructureRecord::log_first_sequence},
      Field{"log_last_sequence", &StructureRecord::log_last_sequence},
      Field{"log_data_sectors", &StructureRecord::log_data_sectors},
      Field{"log_zero_ranges", &StructureRecord::log_zero_ranges},
      Field{"log_file_size_after_replay", &StructureRecord::log_file_size_after_replay},
      Field{"has_parent", &StructureRecord::has_parent});
};

}  // namespace vhdx_inspect::views
