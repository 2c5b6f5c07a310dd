#include "inspection_types.h"

#include <pybind11/stl.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "path_argument.h"
#include "vhdx_inspect/check.h"
#include "vhdx_inspect/inspection.h"
#include "vhdx_inspect/records.h"
#include "vhdx_inspect/structure.h"
#include "vhdx_inspect/verdict.h"
#include "views/json/json_report.h"
#include "views/record_fields.h"
#include "views/text/messages.h"

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

// A failure, finding or warning with the text program's line for it, which
// the views render from the whole inspection (views/text/messages.h).
template <typename Fact>
struct Told {
  Fact fact;
  std::string message;
};

std::optional<Told<vi::Failure>> ToldFailure(const vi::Inspection& inspection) {
  if (!inspection.failure) return std::nullopt;
  return Told<vi::Failure>{*inspection.failure, vhdx_inspect::views::text::FailureMessage(inspection)};
}

std::vector<Told<vi::Finding>> ToldFindings(const vi::Inspection& inspection) {
  std::vector<Told<vi::Finding>> told;
  for (const vi::Finding& finding : inspection.gpt_findings)
    told.push_back({finding, vhdx_inspect::views::text::FindingMessage(finding)});
  return told;
}

std::vector<Told<vi::Warning>> ToldWarnings(const vi::Inspection& inspection) {
  std::vector<Told<vi::Warning>> told;
  for (const vi::Warning& warning : inspection.warnings)
    told.push_back({warning, vhdx_inspect::views::text::WarningMessage(inspection, warning)});
  return told;
}

void BindOutcome(py::module_& module) {
  using F = Told<vi::Failure>;
  RecordClass<F>(module, "Failure", "The check that ended the inspection.")
      .def_property_readonly(
          "check", [](const F& f) { return vi::CheckName(f.fact.check); },
          "The check's stable name, such as \"header.crc\".")
      .def_property_readonly(
          "message", [](const F& f) { return MessageText(f.message); },
          "The one line the text report prints for it, as text to read: a file name's bytes\n"
          "that are not UTF-8 are U+FFFD, as in to_dict() (the name itself is Inspection.path).")
      .def_property_readonly(
          "description", [](const F& f) { return MessageText(f.fact.description); },
          "What was found, as one plain sentence.")
      .def_property_readonly(
          "system_status", [](const F& f) { return f.fact.system_status; },
          "The system's status of a failed open, read or positioning, or of memory it refused, else None.")
      .def_property_readonly(
          "found", [](const F& f) { return f.fact.found; }, "The value the check found, where it has one.")
      .def_property_readonly(
          "expected", [](const F& f) { return f.fact.expected; },
          "The value it was held against (for a range, its lower bound), where it has one.")
      .def_property_readonly(
          "expected_max", [](const F& f) { return f.fact.expected_max; }, "For a range, its upper bound, else None.");

  using G = Told<vi::Finding>;
  RecordClass<G>(module, "Finding", "One difference that the GPT verification found.")
      .def_property_readonly("check", [](const G& f) { return vi::CheckName(f.fact.check); })
      .def_property_readonly(
          "side", [](const G& f) { return SideMember(f.fact.side); },
          "The header it concerns; None when it compares the two.")
      .def_property_readonly(
          "message", [](const G& f) { return MessageText(f.message); },
          "The finding's line, decoded as Failure.message is.")
      .def_property_readonly("description", [](const G& f) { return MessageText(f.fact.description); })
      .def_property_readonly("value", [](const G& f) { return f.fact.value; })
      .def_property_readonly("compared", [](const G& f) { return f.fact.compared; });

  using W = Told<vi::Warning>;
  RecordClass<W>(module, "Warning", "Something worth knowing that does not stop the inspection.")
      .def_property_readonly("check", [](const W& w) { return vi::CheckName(w.fact.check); })
      .def_property_readonly(
          "message", [](const W& w) { return MessageText(w.message); },
          "The warning's line, decoded as Failure.message is.")
      .def_property_readonly("description", [](const W& w) { return MessageText(w.fact.description); })
      .def_property_readonly(
          "entry", [](const W& w) { return w.fact.entry; }, "The partition entry it concerns, counted from 1.")
      .def_property_readonly("side", [](const W& w) { return SideMember(w.fact.side); });
}

// A record field's value for Python: numbers, text and bool as they are, a
// GUID in registry form, a signature as bytes, a list of records as a list.
template <typename Value>
py::object PythonValue(const Value& value) {
  if constexpr (std::is_same_v<Value, vi::Guid>) {
    return py::str(vi::FormatGuid(value));
  } else if constexpr (std::is_same_v<Value, std::array<std::uint8_t, 8>>) {
    return py::bytes(reinterpret_cast<const char*>(value.data()), value.size());
  } else if constexpr (std::is_same_v<Value, std::string_view>) {
    return py::str(value.data(), value.size());
  } else if constexpr (vhdx_inspect::views::RecordList<Value>) {
    py::list list;
    for (const auto& element : value) list.append(py::cast(element));
    return list;
  } else {
    return py::cast(value);
  }
}

// A record's class, with one read-only attribute for each of its fields
// (views/record_fields.h), named as in the JSON object.
template <vhdx_inspect::views::DescribedRecord Record>
void BindRecord(py::module_& module, const char* name, const char* doc) {
  py::class_<Record> cls = RecordClass<Record>(module, name, doc);
  vhdx_inspect::views::ForEachMember<Record>([&](const char* field, auto member) {
    cls.def_property_readonly(field, [member](const Record& record) { return PythonValue(record.*member); });
  });
}

void BindRecords(py::module_& module) {
  BindRecord<vi::HeaderRecord>(module, "HeaderRecord", "The current VHDX header.");
  BindRecord<vi::RegionsRecord>(module, "RegionsRecord",
                                "Where the region table puts the BAT and the metadata region.");
  BindRecord<vi::MetadataRecord>(module, "MetadataRecord", "The standard metadata items and the chunk ratio.");
  BindRecord<vi::PluginHeaderRecord>(module, "PluginHeaderRecord", "The plugin metadata item's header.");
  BindRecord<vi::VolumeRecord>(module, "VolumeRecord", "One volume: its entry in the plugin header and its record.");
  BindRecord<vi::PartitionAreaRecord>(module, "PartitionAreaRecord", "The three sizes of the partition tables.");
  BindRecord<vi::MbrPartitionRecord>(module, "MbrPartitionRecord", "One of the MBR's four partition records.");
  BindRecord<vi::MbrRecord>(module, "MbrRecord", "The protective MBR.");
  BindRecord<vi::GptEntryRecord>(module, "GptEntryRecord", "One used GPT partition entry.");
  BindRecord<vi::GptRecord>(module, "GptRecord", "A GPT header with its used entries.");
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
      .def_property_readonly("failure", &ToldFailure, "The check that ended the inspection, or None.")
      .def_property_readonly("gpt_findings", &ToldFindings, "What the GPT verification found, in the report's order.")
      .def_property_readonly("warnings", &ToldWarnings)
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
      .def_readonly("structure_findings", &I::structure_findings, "What the structure pass found, in its order.")
      .def_readonly("structure", &I::structure, "The structure pass's facts, or None where it did not run.")
      .def_readonly("bat", &I::bat, "The BAT as the structure pass read it, or None.")
      .def(
          "to_json", [](const I& i) { return vhdx_inspect::views::json::JsonLine(i); },
          "The line that vhdx-inspect-json writes for this image, without the line end.")
      .def(
          "to_dict",
          [](const I& i) {
            return py::module_::import("json").attr("loads")(py::str(vhdx_inspect::views::json::JsonLine(i)));
          },
          "The object that vhdx-inspect-json writes for this image (schema version 1), as a dict.")
      .def("__repr__", [](const I& i) {
        return py::str("<vhdx_inspect.Inspection path={!r} verdict={}>")
            .format(FileSystemText(i.path), vi::VerdictName(i.verdict));
      });
}

// What the structure pass found, and its facts.
void BindStructure(py::module_& module) {
  using S = vi::StructureFinding;
  RecordClass<S>(module, "StructureFinding", "One thing the structure pass found in the VHDX container.")
      .def_property_readonly(
          "check", [](const S& f) { return vi::CheckName(f.check); }, "The check's stable name, such as \"bat.state\".")
      .def_property_readonly(
          "severity", [](const S& f) { return EnumMember("Severity", vi::SeverityName(f.severity)); }, "A Severity.")
      .def_property_readonly(
          "description", [](const S& f) { return f.description; }, "What was found, as one plain sentence.")
      .def_property_readonly(
          "index", [](const S& f) { return f.index; }, "The entry it concerns, counted from 0, else None.")
      .def_property_readonly(
          "offset", [](const S& f) { return f.offset; }, "The file offset it concerns, else None.")
      .def_property_readonly("found", [](const S& f) { return f.found; })
      .def_property_readonly("expected", [](const S& f) { return f.expected; });
  BindRecord<vi::HeaderCopyRecord>(module, "HeaderCopyRecord", "One of the two VHDX header copies, as found.");
  BindRecord<vi::RegionTableCopyRecord>(module, "RegionTableCopyRecord",
                                        "One of the two region table copies, as found.");
  BindRecord<vi::ExtentRecord>(module, "ExtentRecord", "A run of file offsets.");
  BindRecord<vi::BatRecord>(module, "BatRecord", "The BAT: entries by state and where the present blocks lie.");
  BindRecord<vi::StructureRecord>(module, "StructureRecord", "The facts that the structure pass gathered.");
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
  AddStrEnum(module, "Severity", "How grave a structure finding is; each member is its JSON name, a str.",
             {{"FAILURE", "failure"}, {"WARNING", "warning"}});
  BindOutcome(module);
  BindRecords(module);
  BindStructure(module);
  BindInspection(module);
}

}  // namespace vhdx_python
