// What the report page keeps of one image: the few strings of its table row
// and, when its map is drawn, the places of its structures. Made from one
// line of vhdx-inspect-json (or an object of the same schema written by the
// Python module), checked field by field for what the page reads; the rest
// of the object is let go, so that a report of 10,000 images holds about a
// kilobyte for each.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vhdx_inspect::views::html {

// The verdicts, worst first: the order of the page's table.
enum class Verdict : std::uint8_t { kCorrupt, kUnreadable, kGptMismatch, kNotPlugin, kSound };
inline constexpr int kVerdictCount = 5;

// The verdict's name in the JSON object ("gpt_mismatch").
const char* VerdictName(Verdict verdict);

// A failure, GPT finding, warning or structure finding, as the page shows it.
struct Finding {
  std::string check;
  std::string side;     // "primary", "backup" or empty
  std::string message;  // the text program's line (empty for a structure finding)
  std::string description;
  std::string severity;                 // a structure finding's "failure" or "warning"
  std::optional<std::uint64_t> entry;   // a warning's partition entry or a structure finding's index
  std::optional<std::uint64_t> offset;  // a structure finding's file offset
};

// A byte range [offset, offset + length) in the file or on the virtual disk.
// The offset of a place read from an image can lie anywhere, past the file's
// end or before its start (a negative trailer offset).
struct Place {
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
  bool beforeStart = false;  // the place computed lies before offset 0 (drawn at 0)
};

struct Partition {
  std::string name;
  std::string typeName;
  std::uint64_t firstLba = 0;
  std::uint64_t lastLba = 0;
};

// One GPT: where its header and entries lie, in LBAs.
struct GptPlace {
  std::uint64_t headerLba = 0;
  std::uint64_t entriesLba = 0;
  std::uint64_t entriesBytes = 0;  // entry count times entry size
};

// The facts a map is drawn from; each one absent that the object did not hold.
struct MapFacts {
  std::optional<std::uint64_t> fileSize;
  std::vector<Place> headers;       // the two header copies, when the structure pass ran
  std::vector<Place> regionTables;  // the two region table copies
  std::optional<Place> log;
  std::optional<Place> metadataRegion;
  std::optional<Place> batRegion;
  std::optional<Place> partitionArea;  // the plugin's MBR and primary GPT at the data area's start
  std::optional<Place> gptTrailer;     // the backup entries and header, in the data area
  // The present blocks' extents, at most kMostExtentGroups: neighbours joined
  // when the BAT has more (presentExtents counts them all).
  std::vector<Place> presentBlocks;
  std::uint64_t presentExtents = 0;
  bool presentBlocksComplete = true;
  // The virtual disk.
  std::optional<std::uint64_t> sectorSize;
  std::optional<std::uint64_t> diskSize;
  std::optional<GptPlace> primaryGpt;
  std::optional<GptPlace> backupGpt;
  std::vector<Partition> partitions;  // the primary GPT's used entries (else the backup's)
};

// Extents drawn on a map at most; more are joined with their neighbours into
// this many groups, each labelled with how many it joins.
inline constexpr std::size_t kMostExtentGroups = 16;

struct ImageRecord {
  std::string path;
  Verdict verdict = Verdict::kSound;
  std::optional<Finding> failure;
  std::vector<Finding> gptFindings;
  std::vector<Finding> warnings;
  std::vector<Finding> structureFindings;
  std::optional<MapFacts> map;  // kept only when the image's map is drawn
};

// A line read, or why it is not an object the page can show.
struct LineReading {
  std::optional<ImageRecord> record;
  std::string problem;  // empty when `record` holds one
};

// Reads one line of JSON: an object of vhdx-inspect-json's schema version 1
// with every field the page reads of the type the schema gives (a field the
// schema marks required must be there; one it does not, may be absent). The
// map's facts are kept for an image that is not sound, and for a sound one
// when `mapsForAll`.
LineReading ReadImageLine(std::string_view line, bool mapsForAll);

// The same for an object already parsed, or made by the JSON view
// (views/json/json_report.h) from an inspection: the report program's own
// scan reads each image's object here, the one its line would be written
// from, without writing and parsing the line (which cost 50 us an image,
// a quarter of the scan).
LineReading ReadImageObject(const nlohmann::ordered_json& object, bool mapsForAll);

}  // namespace vhdx_inspect::views::html
