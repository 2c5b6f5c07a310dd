#include "inspection_types.h"

#include <pybind11/stl.h>

#include <string>
#include <utility>
#include <vector>

#include "path_argument.h"
#include "vhdx-inspect-json/json_report.h"
#include "vhdx_inspect/check.h"
#include "vhdx_inspect/inspection.h"
#include "vhdx_inspect/records.h"
#include "vhdx_inspect/verdict.h"

namespace vhdx_python {
namespace {

namespace py = pybind11;
namespace vi = vhdx_inspect;

constexpr const char* kModule = "vhdx_inspect";

// A member of one of the module's str-valued enums, by its value.
py::object EnumMember(const char* enumName, const char* value) {
  return py::module_::import("vhdx_inspect._native").attr(enumName)(value);
}

py::object SideMember(const std::optional<vi::GptSide>& side) {
  if (!side) return py::none();
  return EnumMember("GptSide", *side == vi::GptSide::kPrimary ? "primary" : "backup");
}

// enum.Enum(name, [(MEMBER, "value"), ...], type=str): its members are
// strings, equal to the JSON names.
void AddStrEnum(py::module_& module, const char* name, const char* doc,
                const std::vector<std::pair<const char*, const char*>>& members) {
  py::list pairs;
  for (const auto& [member, value] : members) pairs.append(py::make_tuple(member, value));
  py::object strEnum = py::module_::import("enum").attr("Enum")(name, pairs, py::arg("type") = py::str().get_type(),
                                                                py::arg("module") = kModule);
  strEnum.attr("__doc__") = doc;
  module.attr(name) = strEnum;
}

// A message as a str: UTF-8, each sequence that is not UTF-8 (a file name's
// bytes in it) as U+FFFD, as the JSON view writes it. A message is for
// people: it prints on any stream, where os.fsdecode()'s surrogates would
// stop print(), and equals its to_dict() counterpart. The file's own name,
// which must round-trip, is Inspection.path.
py::str MessageText(const std::string& message) {
  PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
  if (text == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(text);
}

template <typename T>
py::class_<T> RecordClass(py::module_& module, const char* name, const char* doc) {
  py::class_<T> cls(module, name, doc);
  cls.attr("__module__") = kModule;
  return cls;
}

void BindOutcome(py::module_& module) {
  RecordClass<vi::Failure>(module, "Failure", "The check that ended the inspection.")
      .def_property_readonly(
          "check", [](const vi::Failure& f) { return vi::CheckName(f.check); },
          "The check's stable name, such as \"header.crc\".")
      .def_property_readonly(
          "message", [](const vi::Failure& f) { return MessageText(f.message); },
          "The one line the text report prints for it, as text to read: a file name's bytes\n"
          "that are not UTF-8 are U+FFFD, as in to_dict() (the name itself is Inspection.path).")
      .def_readonly("system_status", &vi::Failure::system_status,
                    "errno of a failed open, read or positioning, else None.")
      .def_readonly("found", &vi::Failure::found, "The value the check found, where the line names it.")
      .def_readonly("expected", &vi::Failure::expected, "The value it was held against, where the line names it.");

  RecordClass<vi::Finding>(module, "Finding", "One difference that the GPT verification found.")
      .def_property_readonly("check", [](const vi::Finding& f) { return vi::CheckName(f.check); })
      .def_property_readonly(
          "side", [](const vi::Finding& f) { return SideMember(f.side); },
          "The header it concerns; None when it compares the two.")
      .def_property_readonly(
          "message", [](const vi::Finding& f) { return MessageText(f.message); },
          "The finding's line, decoded as Failure.message is.")
      .def_readonly("value", &vi::Finding::value)
      .def_readonly("compared", &vi::Finding::compared);

  RecordClass<vi::Warning>(module, "Warning", "Something worth knowing that does not stop the inspection.")
      .def_property_readonly("check", [](const vi::Warning& w) { return vi::CheckName(w.check); })
      .def_property_readonly(
          "message", [](const vi::Warning& w) { return MessageText(w.message); },
          "The warning's line, decoded as Failure.message is.")
      .def_readonly("entry", &vi::Warning::entry, "The partition entry it concerns, counted from 1.")
      .def_property_readonly("side", [](const vi::Warning& w) { return SideMember(w.side); });
}

void BindContainerRecords(py::module_& module) {
  RecordClass<vi::HeaderRecord>(module, "HeaderRecord", "The current VHDX header.")
      .def_readonly("sequence_number", &vi::HeaderRecord::sequence_number)
      .def_readonly("version", &vi::HeaderRecord::version)
      .def_readonly("log_version", &vi::HeaderRecord::log_version)
      .def_readonly("log_length", &vi::HeaderRecord::log_length)
      .def_readonly("log_offset", &vi::HeaderRecord::log_offset)
      .def_property_readonly("file_write_guid",
                             [](const vi::HeaderRecord& h) { return vi::FormatGuid(h.file_write_guid); })
      .def_property_readonly("data_write_guid",
                             [](const vi::HeaderRecord& h) { return vi::FormatGuid(h.data_write_guid); })
      .def_property_readonly("log_guid", [](const vi::HeaderRecord& h) { return vi::FormatGuid(h.log_guid); });

  RecordClass<vi::RegionsRecord>(module, "RegionsRecord",
                                 "Where the region table puts the BAT and the metadata region.")
      .def_readonly("bat_offset", &vi::RegionsRecord::bat_offset)
      .def_readonly("bat_length", &vi::RegionsRecord::bat_length)
      .def_readonly("metadata_offset", &vi::RegionsRecord::metadata_offset)
      .def_readonly("metadata_length", &vi::RegionsRecord::metadata_length)
      .def_readonly("data_area_offset", &vi::RegionsRecord::data_area_offset);

  RecordClass<vi::MetadataRecord>(module, "MetadataRecord", "The standard metadata items and the chunk ratio.")
      .def_readonly("block_size", &vi::MetadataRecord::block_size)
      .def_readonly("virtual_disk_size", &vi::MetadataRecord::virtual_disk_size)
      .def_readonly("logical_sector_size", &vi::MetadataRecord::logical_sector_size)
      .def_readonly("physical_sector_size", &vi::MetadataRecord::physical_sector_size)
      .def_readonly("chunk_ratio", &vi::MetadataRecord::chunk_ratio);

  RecordClass<vi::PluginHeaderRecord>(module, "PluginHeaderRecord", "The plugin metadata item's header.")
      .def_readonly("offset", &vi::PluginHeaderRecord::offset)
      .def_readonly("length", &vi::PluginHeaderRecord::length)
      .def_readonly("revision", &vi::PluginHeaderRecord::revision)
      .def_readonly("virtual_disk_size", &vi::PluginHeaderRecord::virtual_disk_size)
      .def_readonly("mbr_gpt_size", &vi::PluginHeaderRecord::mbr_gpt_size)
      .def_readonly("gpt_trailer_length", &vi::PluginHeaderRecord::gpt_trailer_length)
      .def_readonly("gpt_trailer_offset", &vi::PluginHeaderRecord::gpt_trailer_offset)
      .def_readonly("max_metadata_size", &vi::PluginHeaderRecord::max_metadata_size)
      .def_readonly("total_metadata_size", &vi::PluginHeaderRecord::total_metadata_size);

  RecordClass<vi::VolumeRecord>(module, "VolumeRecord", "One volume: its entry in the plugin header and its record.")
      .def_readonly("size", &vi::VolumeRecord::size)
      .def_readonly("metadata_offset", &vi::VolumeRecord::metadata_offset)
      .def_readonly("my_size", &vi::VolumeRecord::my_size)
      .def_readonly("volume_size", &vi::VolumeRecord::volume_size)
      .def_readonly("password_size", &vi::VolumeRecord::password_size)
      .def_readonly("password_offset", &vi::VolumeRecord::password_offset)
      .def_readonly("image_file_list_bytes", &vi::VolumeRecord::image_file_list_bytes)
      .def_readonly("image_file_list", &vi::VolumeRecord::image_file_list);
}

void BindPartitionRecords(py::module_& module) {
  RecordClass<vi::PartitionAreaRecord>(module, "PartitionAreaRecord", "The three sizes of the partition tables.")
      .def_readonly("mbr_gpt_size", &vi::PartitionAreaRecord::mbr_gpt_size)
      .def_readonly("gpt_trailer_length", &vi::PartitionAreaRecord::gpt_trailer_length)
      .def_readonly("gpt_trailer_offset", &vi::PartitionAreaRecord::gpt_trailer_offset);

  RecordClass<vi::MbrPartitionRecord>(module, "MbrPartitionRecord", "One of the MBR's four partition records.")
      .def_readonly("bootable", &vi::MbrPartitionRecord::bootable)
      .def_readonly("status", &vi::MbrPartitionRecord::status)
      .def_readonly("start_head", &vi::MbrPartitionRecord::start_head)
      .def_readonly("start_cylinder", &vi::MbrPartitionRecord::start_cylinder)
      .def_readonly("start_sector", &vi::MbrPartitionRecord::start_sector)
      .def_readonly("type", &vi::MbrPartitionRecord::type)
      .def_readonly("end_head", &vi::MbrPartitionRecord::end_head)
      .def_readonly("end_cylinder", &vi::MbrPartitionRecord::end_cylinder)
      .def_readonly("end_sector", &vi::MbrPartitionRecord::end_sector)
      .def_readonly("sector_offset", &vi::MbrPartitionRecord::sector_offset)
      .def_readonly("sector_count", &vi::MbrPartitionRecord::sector_count);

  RecordClass<vi::MbrRecord>(module, "MbrRecord", "The protective MBR.")
      .def_readonly("disk_signature", &vi::MbrRecord::disk_signature)
      .def_property_readonly("partitions", [](const vi::MbrRecord& m) {
        return std::vector<vi::MbrPartitionRecord>(m.partitions.begin(), m.partitions.end());
      });

  RecordClass<vi::GptEntryRecord>(module, "GptEntryRecord", "One used GPT partition entry.")
      .def_property_readonly("type_guid", [](const vi::GptEntryRecord& e) { return vi::FormatGuid(e.type_guid); })
      .def_property_readonly("unique_guid", [](const vi::GptEntryRecord& e) { return vi::FormatGuid(e.unique_guid); })
      .def_readonly("first_lba", &vi::GptEntryRecord::first_lba)
      .def_readonly("last_lba", &vi::GptEntryRecord::last_lba)
      .def_readonly("attributes", &vi::GptEntryRecord::attributes)
      .def_property_readonly("type_name", [](const vi::GptEntryRecord& e) { return std::string(e.type_name); })
      .def_readonly("name", &vi::GptEntryRecord::name)
      .def_readonly("name_fits_type", &vi::GptEntryRecord::name_fits_type);

  RecordClass<vi::GptRecord>(module, "GptRecord", "A GPT header with its used entries.")
      .def_property_readonly("signature",
                             [](const vi::GptRecord& g) {
                               return py::bytes(reinterpret_cast<const char*>(g.signature.data()), g.signature.size());
                             })
      .def_readonly("revision", &vi::GptRecord::revision)
      .def_readonly("header_size", &vi::GptRecord::header_size)
      .def_readonly("header_crc32", &vi::GptRecord::header_crc32)
      .def_readonly("my_lba", &vi::GptRecord::my_lba)
      .def_readonly("alternate_lba", &vi::GptRecord::alternate_lba)
      .def_readonly("first_usable_lba", &vi::GptRecord::first_usable_lba)
      .def_readonly("last_usable_lba", &vi::GptRecord::last_usable_lba)
      .def_property_readonly("disk_guid", [](const vi::GptRecord& g) { return vi::FormatGuid(g.disk_guid); })
      .def_readonly("partition_entry_lba", &vi::GptRecord::partition_entry_lba)
      .def_readonly("number_of_partition_entries", &vi::GptRecord::number_of_partition_entries)
      .def_readonly("size_of_partition_entry", &vi::GptRecord::size_of_partition_entry)
      .def_readonly("partition_entry_array_crc32", &vi::GptRecord::partition_entry_array_crc32)
      .def_readonly("entries", &vi::GptRecord::entries);
}

void BindInspection(py::module_& module) {
  using I = vi::Inspection;
  RecordClass<I>(module, "Inspection",
                 "One inspection as a value: the verdict, the first failure, the GPT findings, the\n"
                 "warnings and every record that was reached (None where the inspection stopped before it).")
      .def_property_readonly(
          "path", [](const I& i) { return FileSystemText(i.path); },
          "The image's name as given, decoded as os.fsdecode() does: a file name, which\n"
          "os.fsencode() turns back into the name's bytes, so that it opens the same file.\n"
          "to_dict()[\"path\"] is the JSON view's text of it, where each sequence that is\n"
          "not UTF-8 is U+FFFD: os.fsencode(path).decode(\"utf-8\", \"replace\").")
      .def_property_readonly(
          "verdict", [](const I& i) { return EnumMember("Verdict", vi::VerdictName(i.verdict)); }, "A Verdict.")
      .def_readonly("failure", &I::failure, "The check that ended the inspection, or None.")
      .def_readonly("gpt_findings", &I::gpt_findings, "What the GPT verification found, in the report's order.")
      .def_readonly("warnings", &I::warnings)
      .def_readonly("header", &I::header)
      .def_readonly("regions", &I::regions)
      .def_readonly("metadata", &I::metadata)
      .def_readonly("plugin", &I::plugin)
      .def_property_readonly(
          "volumes",
          [](const I& i) -> py::object {
            if (!i.plugin) return py::none();
            return py::cast(i.volumes);
          },
          "The volume records: a list with the plugin header, else None.")
      .def_readonly("partition_area", &I::partition_area)
      .def_readonly("mbr", &I::mbr)
      .def_readonly("primary_gpt", &I::primary_gpt)
      .def_readonly("backup_gpt", &I::backup_gpt)
      .def(
          "to_json", [](const I& i) { return json_report::JsonLine(i); },
          "The line that vhdx-inspect-json writes for this image, without the line end.")
      .def(
          "to_dict",
          [](const I& i) { return py::module_::import("json").attr("loads")(py::str(json_report::JsonLine(i))); },
          "The object that vhdx-inspect-json writes for this image (schema version 1), as a dict.")
      .def("__repr__", [](const I& i) {
        return py::str("<vhdx_inspect.Inspection path={!r} verdict={}>")
            .format(FileSystemText(i.path), vi::VerdictName(i.verdict));
      });
}

}  // namespace

void BindInspectionTypes(py::module_& module) {
  AddStrEnum(module, "Verdict", "What one inspection concluded; each member is its JSON name, a str.",
             {{"SOUND", "sound"},
              {"GPT_MISMATCH", "gpt_mismatch"},
              {"CORRUPT", "corrupt"},
              {"UNREADABLE", "unreadable"},
              {"NOT_PLUGIN", "not_plugin"}});
  AddStrEnum(module, "GptSide", "The GPT header a finding or warning concerns.",
             {{"PRIMARY", "primary"}, {"BACKUP", "backup"}});
  BindOutcome(module);
  BindContainerRecords(module);
  BindPartitionRecords(module);
  BindInspection(module);
}

}  // namespace vhdx_python
