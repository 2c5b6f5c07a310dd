#include "views/json/json_report.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

#include "vhdx_inspect/check.h"
#include "vhdx_inspect/records.h"
#include "vhdx_inspect/verdict.h"
#include "views/record_fields.h"
#include "views/text/messages.h"

namespace vhdx_inspect::views::json {
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

// A field's value as JSON: numbers and text as they are, a GUID in registry
// form, a signature in hexadecimal, a record as its object, a list of
// records as an array.
template <typename Value>
ordered_json JsonValue(const Value& value);

template <DescribedRecord Record>
ordered_json RecordObject(const Record& record) {
  ordered_json object = ordered_json::object();
  ForEachField(record, [&](const char* name, const auto& value) { object[name] = JsonValue(value); });
  return object;
}

template <typename Value>
ordered_json JsonValue(const Value& value) {
  if constexpr (std::is_same_v<Value, vhdx_inspect::Guid>) {
    return vhdx_inspect::FormatGuid(value);
  } else if constexpr (std::is_same_v<Value, std::array<std::uint8_t, 8>>) {
    return SignatureHex(value);
  } else if constexpr (DescribedRecord<Value>) {
    return RecordObject(value);
  } else if constexpr (RecordList<Value>) {
    ordered_json array = ordered_json::array();
    for (const auto& element : value) array.push_back(RecordObject(element));
    return array;
  } else {
    return value;
  }
}

template <typename Record>
void PutRecordIfPresent(ordered_json& object, const char* key, const std::optional<Record>& record) {
  if (record) object[key] = RecordObject(*record);
}

ordered_json FailureObject(const vhdx_inspect::Inspection& inspection) {
  const vhdx_inspect::Failure& failure = *inspection.failure;
  ordered_json object = ordered_json::object();
  object["check"] = vhdx_inspect::CheckName(failure.check);
  object["message"] = text::FailureMessage(inspection);
  PutIfPresent(object, "system_status", failure.system_status);
  PutIfPresent(object, "found", failure.found);
  PutIfPresent(object, "expected", failure.expected);
  PutIfPresent(object, "expected_max", failure.expected_max);
  object["description"] = failure.description;
  return object;
}

ordered_json FindingObject(const vhdx_inspect::Finding& finding) {
  ordered_json object = ordered_json::object();
  object["check"] = vhdx_inspect::CheckName(finding.check);
  if (finding.side) object["header"] = SideName(*finding.side);
  object["message"] = text::FindingMessage(finding);
  PutIfPresent(object, "value", finding.value);
  PutIfPresent(object, "compared", finding.compared);
  object["description"] = finding.description;
  return object;
}

ordered_json WarningObject(const vhdx_inspect::Inspection& inspection, const vhdx_inspect::Warning& warning) {
  ordered_json object = ordered_json::object();
  object["check"] = vhdx_inspect::CheckName(warning.check);
  object["message"] = text::WarningMessage(inspection, warning);
  PutIfPresent(object, "entry", warning.entry);
  if (warning.side) object["header"] = SideName(*warning.side);
  object["description"] = warning.description;
  return object;
}

ordered_json StructureFindingObject(const vhdx_inspect::StructureFinding& finding) {
  ordered_json object;
  object["check"] = vhdx_inspect::CheckName(finding.check);
  object["severity"] = vhdx_inspect::SeverityName(finding.severity);
  object["description"] = finding.description;
  PutIfPresent(object, "index", finding.index);
  PutIfPresent(object, "offset", finding.offset);
  PutIfPresent(object, "found", finding.found);
  PutIfPresent(object, "expected", finding.expected);
  return object;
}

}  // namespace

ordered_json JsonReport(const vhdx_inspect::Inspection& inspection) {
  ordered_json object = ordered_json::object();
  object["schema_version"] = kSchemaVersion;
  object["path"] = inspection.path;
  object["verdict"] = vhdx_inspect::VerdictName(inspection.verdict);
  if (inspection.failure) object["failure"] = FailureObject(inspection);

  ordered_json findings = ordered_json::array();
  for (const vhdx_inspect::Finding& finding : inspection.gpt_findings) findings.push_back(FindingObject(finding));
  object["gpt_findings"] = std::move(findings);
  ordered_json warnings = ordered_json::array();
  for (const vhdx_inspect::Warning& warning : inspection.warnings)
    warnings.push_back(WarningObject(inspection, warning));
  object["warnings"] = std::move(warnings);
  ordered_json structureFindings = ordered_json::array();
  for (const vhdx_inspect::StructureFinding& finding : inspection.structure_findings)
    structureFindings.push_back(StructureFindingObject(finding));
  object["structure_findings"] = std::move(structureFindings);

  PutRecordIfPresent(object, "header", inspection.header);
  PutRecordIfPresent(object, "regions", inspection.regions);
  PutRecordIfPresent(object, "metadata", inspection.metadata);
  if (inspection.plugin) {
    object["plugin"] = RecordObject(*inspection.plugin);
    ordered_json volumes = ordered_json::array();
    for (const vhdx_inspect::VolumeRecord& volume : inspection.volumes) volumes.push_back(RecordObject(volume));
    object["volumes"] = std::move(volumes);
  }
  PutRecordIfPresent(object, "partition_area", inspection.partition_area);
  PutRecordIfPresent(object, "mbr", inspection.mbr);
  PutRecordIfPresent(object, "primary_gpt", inspection.primary_gpt);
  PutRecordIfPresent(object, "backup_gpt", inspection.backup_gpt);
  PutRecordIfPresent(object, "structure", inspection.structure);
  PutRecordIfPresent(object, "bat", inspection.bat);
  return object;
}

std::string JsonLine(const vhdx_inspect::Inspection& inspection) {
  return JsonReport(inspection).dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace vhdx_inspect::views::json
