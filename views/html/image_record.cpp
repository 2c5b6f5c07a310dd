#include "views/html/image_record.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace vhdx_inspect::views::html {
namespace {

using json = nlohmann::ordered_json;

constexpr std::array<const char*, kVerdictCount> kVerdictNames = {"corrupt", "unreadable", "gpt_mismatch", "not_plugin",
                                                                  "sound"};

// A check's name as the schema's pattern has it: "<structure>.<what>", lower
// case letters, digits and "_" between the dots.
bool IsCheckName(const std::string& name) {
  bool afterDot = true;
  int dots = 0;
  for (const char c : name) {
    if (c == '.') {
      if (afterDot) return false;
      afterDot = true;
      ++dots;
    } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') {
      afterDot = false;
    } else {
      return false;
    }
  }
  return dots > 0 && !afterDot;
}

// Reads the fields of one object, each of the type the schema gives it. The
// first field that is missing (when required) or of another type is the
// line's problem, named by its place ("warnings[1].check: not a string");
// once there is one, every read gives nothing.
class Fields {
 public:
  Fields(const json& object, std::string where, std::string& problem)
      : object_(object), where_(std::move(where)), problem_(problem) {}

  bool Ok() const { return problem_.empty(); }

  // The member `key`; nothing (and a problem when `required`) if it is absent.
  const json* Member(const char* key, bool required) {
    if (!Ok()) return nullptr;
    const auto found = object_.find(key);
    if (found == object_.end()) {
      if (required) Problem(key, "missing");
      return nullptr;
    }
    return &*found;
  }

  std::optional<std::string> Text(const char* key, bool required) {
    const json* value = Member(key, required);
    if (value == nullptr) return std::nullopt;
    if (!value->is_string()) return Problem(key, "not a string"), std::nullopt;
    return value->get<std::string>();
  }

  std::optional<std::uint64_t> Unsigned(const char* key, bool required) {
    const json* value = Member(key, required);
    if (value == nullptr) return std::nullopt;
    // A parsed line holds a number of 0 or more as unsigned; an object made
    // from an inspection may hold it as a signed integer.
    if (value->is_number_integer() && !value->is_number_unsigned() && value->get<std::int64_t>() >= 0) {
      return static_cast<std::uint64_t>(value->get<std::int64_t>());
    }
    if (!value->is_number_unsigned()) return Problem(key, "not an integer from 0 to 2^64-1"), std::nullopt;
    return value->get<std::uint64_t>();
  }

  std::optional<std::int64_t> Signed(const char* key, bool required) {
    const json* value = Member(key, required);
    if (value == nullptr) return std::nullopt;
    if (value->is_number_unsigned() &&
        value->get<std::uint64_t>() <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return static_cast<std::int64_t>(value->get<std::uint64_t>());
    }
    if (!value->is_number_integer() || value->is_number_unsigned()) {
      return Problem(key, "not an integer from -2^63 to 2^63-1"), std::nullopt;
    }
    return value->get<std::int64_t>();
  }

  std::optional<bool> Boolean(const char* key, bool required) {
    const json* value = Member(key, required);
    if (value == nullptr) return std::nullopt;
    if (!value->is_boolean()) return Problem(key, "not true or false"), std::nullopt;
    return value->get<bool>();
  }

  const json* Object(const char* key, bool required) {
    const json* value = Member(key, required);
    if (value != nullptr && !value->is_object()) return Problem(key, "not an object"), nullptr;
    return value;
  }

  const json* Array(const char* key, bool required) {
    const json* value = Member(key, required);
    if (value != nullptr && !value->is_array()) return Problem(key, "not an array"), nullptr;
    return value;
  }

  // The place of `key` for the fields of an object below it.
  std::string Below(const char* key) const { return where_ + key; }

  void Problem(const char* key, const char* what) {
    if (Ok()) problem_ = where_ + key + ": " + what;
  }

 private:
  const json& object_;
  std::string where_;
  std::string& problem_;
};

// Calls `read(fields)` for each element of the array `key`, each of which
// must be an object.
template <typename Read>
void EachObject(Fields& fields, const json* array, const char* key, Read read, std::string& problem) {
  if (array == nullptr) return;
  std::size_t index = 0;
  for (const json& element : *array) {
    const std::string where = fields.Below(key) + "[" + std::to_string(index) + "]";
    if (!element.is_object()) {
      if (problem.empty()) problem = where + ": not an object";
      return;
    }
    Fields elementFields(element, where + ".", problem);
    read(elementFields);
    if (!problem.empty()) return;
    ++index;
  }
}

std::optional<std::string> Check(Fields& fields) {
  std::optional<std::string> check = fields.Text("check", true);
  if (check && !IsCheckName(*check)) {
    fields.Problem("check", "not a check's name");
    return std::nullopt;
  }
  return check;
}

std::optional<std::string> Side(Fields& fields) {
  std::optional<std::string> side = fields.Text("header", false);
  if (side && *side != "primary" && *side != "backup") {
    fields.Problem("header", "neither \"primary\" nor \"backup\"");
    return std::nullopt;
  }
  return side;
}

// A failure, GPT finding or warning: check and message, and what else it has.
Finding ReadFinding(Fields& fields, bool entry) {
  Finding finding;
  finding.check = Check(fields).value_or("");
  finding.message = fields.Text("message", true).value_or("");
  finding.side = Side(fields).value_or("");
  finding.description = fields.Text("description", false).value_or("");
  if (entry) finding.entry = fields.Unsigned("entry", false);
  return finding;
}

Finding ReadStructureFinding(Fields& fields) {
  Finding finding;
  finding.check = Check(fields).value_or("");
  finding.severity = fields.Text("severity", true).value_or("");
  if (fields.Ok() && finding.severity != "failure" && finding.severity != "warning") {
    fields.Problem("severity", "neither \"failure\" nor \"warning\"");
  }
  finding.description = fields.Text("description", true).value_or("");
  finding.entry = fields.Unsigned("index", false);
  finding.offset = fields.Unsigned("offset", false);
  return finding;
}

// offset + length, or the largest offset when the sum does not fit.
std::uint64_t SaturatedSum(std::uint64_t offset, std::uint64_t length) {
  return length > std::numeric_limits<std::uint64_t>::max() - offset ? std::numeric_limits<std::uint64_t>::max()
                                                                     : offset + length;
}

// The place `delta` bytes (which may be negative) after `base`, `length`
// bytes long (none when negative).
Place PlaceAfter(std::uint64_t base, std::int64_t delta, std::int64_t length) {
  Place place;
  place.length = length < 0 ? 0 : static_cast<std::uint64_t>(length);
  if (delta >= 0) {
    place.offset = SaturatedSum(base, static_cast<std::uint64_t>(delta));
  } else {
    // -(delta + 1) + 1: the magnitude without overflowing at INT64_MIN.
    const std::uint64_t back = static_cast<std::uint64_t>(-(delta + 1)) + 1;
    place.beforeStart = back > base;
    place.offset = place.beforeStart ? 0 : base - back;
  }
  return place;
}

std::optional<GptPlace> ReadGpt(Fields& parent, const char* key, std::vector<Partition>* partitions,
                                std::string& problem) {
  const json* object = parent.Object(key, false);
  if (object == nullptr) return std::nullopt;
  Fields fields(*object, parent.Below(key) + ".", problem);
  GptPlace gpt;
  gpt.headerLba = fields.Unsigned("my_lba", true).value_or(0);
  gpt.entriesLba = fields.Unsigned("partition_entry_lba", true).value_or(0);
  const std::uint64_t count = fields.Unsigned("number_of_partition_entries", true).value_or(0);
  const std::uint64_t size = fields.Unsigned("size_of_partition_entry", true).value_or(0);
  // Both are 32-bit fields; a line may say more.
  gpt.entriesBytes = count != 0 && size > std::numeric_limits<std::uint64_t>::max() / count
                         ? std::numeric_limits<std::uint64_t>::max()
                         : count * size;
  std::vector<Partition> read;
  EachObject(
      fields, fields.Array("entries", true), "entries",
      [&](Fields& entry) {
        Partition partition;
        partition.name = entry.Text("name", true).value_or("");
        partition.typeName = entry.Text("type_name", true).value_or("");
        partition.firstLba = entry.Unsigned("first_lba", true).value_or(0);
        partition.lastLba = entry.Unsigned("last_lba", true).value_or(0);
        read.push_back(std::move(partition));
      },
      problem);
  if (!problem.empty()) return std::nullopt;
  if (partitions != nullptr) *partitions = std::move(read);
  return gpt;
}

// The present blocks' extents, joined into at most kMostExtentGroups groups
// of neighbours.
std::vector<Place> GroupedExtents(const std::vector<Place>& extents) {
  if (extents.size() <= kMostExtentGroups) return extents;
  std::vector<Place> groups;
  groups.reserve(kMostExtentGroups);
  for (std::size_t group = 0; group < kMostExtentGroups; ++group) {
    const std::size_t first = group * extents.size() / kMostExtentGroups;
    const std::size_t last = (group + 1) * extents.size() / kMostExtentGroups - 1;
    const std::uint64_t end = SaturatedSum(extents[last].offset, extents[last].length);
    groups.push_back({extents[first].offset, end - std::min(end, extents[first].offset), false});
  }
  return groups;
}

MapFacts ReadMapFacts(Fields& top, std::string& problem) {
  MapFacts facts;
  if (const json* structure = top.Object("structure", false)) {
    Fields fields(*structure, "structure.", problem);
    facts.fileSize = fields.Unsigned("file_size", true);
    for (const char* key : {"headers", "region_tables"}) {
      std::vector<Place>& places = std::string_view(key) == "headers" ? facts.headers : facts.regionTables;
      EachObject(
          fields, fields.Array(key, true), key,
          [&](Fields& copy) {
            places.push_back({copy.Unsigned("offset", true).value_or(0), 64 * 1024, false});
          },
          problem);
    }
    const auto logOffset = fields.Unsigned("log_offset", true);
    const auto logLength = fields.Unsigned("log_length", true);
    if (logOffset && logLength) facts.log = Place{*logOffset, *logLength, false};
  }
  if (const json* header = top.Object("header", false)) {
    Fields fields(*header, "header.", problem);
    const auto logOffset = fields.Unsigned("log_offset", true);
    const auto logLength = fields.Unsigned("log_length", true);
    if (!facts.log && logOffset && logLength) facts.log = Place{*logOffset, *logLength, false};
  }
  std::optional<std::uint64_t> dataArea;
  if (const json* regions = top.Object("regions", false)) {
    Fields fields(*regions, "regions.", problem);
    const auto batOffset = fields.Unsigned("bat_offset", true);
    const auto batLength = fields.Unsigned("bat_length", true);
    const auto metadataOffset = fields.Unsigned("metadata_offset", true);
    const auto metadataLength = fields.Unsigned("metadata_length", true);
    dataArea = fields.Unsigned("data_area_offset", true);
    if (batOffset && batLength) facts.batRegion = Place{*batOffset, *batLength, false};
    if (metadataOffset && metadataLength) facts.metadataRegion = Place{*metadataOffset, *metadataLength, false};
  }
  if (const json* metadata = top.Object("metadata", false)) {
    Fields fields(*metadata, "metadata.", problem);
    facts.diskSize = fields.Unsigned("virtual_disk_size", true);
    facts.sectorSize = fields.Unsigned("logical_sector_size", true);
  }
  if (const json* area = top.Object("partition_area", false)) {
    Fields fields(*area, "partition_area.", problem);
    const auto size = fields.Signed("mbr_gpt_size", true);
    const auto trailerLength = fields.Signed("gpt_trailer_length", true);
    const auto trailerOffset = fields.Signed("gpt_trailer_offset", true);
    if (dataArea && size) facts.partitionArea = PlaceAfter(*dataArea, 0, *size);
    if (dataArea && trailerLength && trailerOffset)
      facts.gptTrailer = PlaceAfter(*dataArea, *trailerOffset, *trailerLength);
  }
  if (const json* bat = top.Object("bat", false)) {
    Fields fields(*bat, "bat.", problem);
    std::vector<Place> extents;
    EachObject(
        fields, fields.Array("present_blocks", true), "present_blocks",
        [&](Fields& extent) {
          const std::uint64_t offset = extent.Unsigned("offset", true).value_or(0);
          extents.push_back({offset, extent.Unsigned("length", true).value_or(0), false});
        },
        problem);
    facts.presentBlocksComplete = fields.Boolean("present_blocks_complete", true).value_or(true);
    facts.presentExtents = extents.size();
    facts.presentBlocks = GroupedExtents(extents);
  }
  std::vector<Partition> backupPartitions;
  facts.primaryGpt = ReadGpt(top, "primary_gpt", &facts.partitions, problem);
  facts.backupGpt = ReadGpt(top, "backup_gpt", &backupPartitions, problem);
  if (!facts.primaryGpt) facts.partitions = std::move(backupPartitions);
  return facts;
}

}  // namespace

const char* VerdictName(Verdict verdict) { return kVerdictNames[static_cast<std::size_t>(verdict)]; }

LineReading ReadImageLine(std::string_view line, bool mapsForAll) {
  json object;
  try {
    object = json::parse(line);
  } catch (const json::parse_error& e) {
    LineReading reading;
    reading.problem = "not JSON (byte " + std::to_string(e.byte) + ")";
    return reading;
  }
  return ReadImageObject(object, mapsForAll);
}

LineReading ReadImageObject(const nlohmann::ordered_json& object, bool mapsForAll) {
  LineReading reading;
  if (!object.is_object()) {
    reading.problem = "not a JSON object";
    return reading;
  }
  std::string& problem = reading.problem;
  Fields fields(object, "", problem);
  ImageRecord record;
  const std::optional<std::uint64_t> version = fields.Unsigned("schema_version", true);
  if (version && *version != 1) fields.Problem("schema_version", "not 1");
  record.path = fields.Text("path", true).value_or("");
  const std::optional<std::string> verdict = fields.Text("verdict", true);
  if (verdict) {
    const auto* named =
        std::find_if(kVerdictNames.begin(), kVerdictNames.end(), [&](const char* name) { return *verdict == name; });
    if (named == kVerdictNames.end()) {
      fields.Problem("verdict", "not one of the five verdicts");
    } else {
      record.verdict = static_cast<Verdict>(named - kVerdictNames.begin());
    }
  }
  if (const json* failure = fields.Object("failure", false)) {
    Fields failureFields(*failure, "failure.", problem);
    record.failure = ReadFinding(failureFields, false);
  }
  EachObject(
      fields, fields.Array("gpt_findings", true), "gpt_findings",
      [&](Fields& finding) { record.gptFindings.push_back(ReadFinding(finding, false)); }, problem);
  EachObject(
      fields, fields.Array("warnings", true), "warnings",
      [&](Fields& warning) { record.warnings.push_back(ReadFinding(warning, true)); }, problem);
  EachObject(
      fields, fields.Array("structure_findings", false), "structure_findings",
      [&](Fields& finding) { record.structureFindings.push_back(ReadStructureFinding(finding)); }, problem);
  MapFacts facts = ReadMapFacts(fields, problem);
  if (!problem.empty()) return reading;

  // What the verdict says of the failure and the GPT findings.
  const bool failed = record.verdict == Verdict::kCorrupt || record.verdict == Verdict::kUnreadable ||
                      record.verdict == Verdict::kNotPlugin;
  if (failed != record.failure.has_value()) {
    problem = failed ? "failure: missing for verdict " : "failure: present with verdict ";
    problem += VerdictName(record.verdict);
    return reading;
  }
  if (record.verdict == Verdict::kSound && !record.gptFindings.empty()) {
    problem = "gpt_findings: not empty with verdict sound";
    return reading;
  }
  if (record.verdict == Verdict::kGptMismatch && record.gptFindings.empty()) {
    problem = "gpt_findings: empty with verdict gpt_mismatch";
    return reading;
  }
  if (mapsForAll || record.verdict != Verdict::kSound) record.map = std::move(facts);
  reading.record = std::move(record);
  return reading;
}

}  // namespace vhdx_inspect::views::html
