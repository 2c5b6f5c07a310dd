#include "views/html/image_map.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "views/html/broken_axis.h"
#include "views/html/escape.h"
#include "views/html/finding_place.h"
#include "views/html/number_text.h"

namespace vhdx_inspect::views::html {
namespace {

// The Okabe-Ito palette: the failure in vermillion, each finding after it
// in the next colour.
constexpr const char* kFailureColour = "#D55E00";
constexpr std::array<const char*, 6> kFindingColours = {"#E69F00", "#CC79A7", "#56B4E9",
                                                        "#009E73", "#0072B2", "#F0E442"};
constexpr const char* kStructureColour = "#888";
constexpr const char* kBlockColour = "#444";

// The layout of a map in pixels.
constexpr double kLabelWidth = 380;  // the column of row labels, left of the axis
constexpr double kAxisWidth = 560;
constexpr double kRowHeight = 18;
constexpr double kAxisHeight = 64;                // the end's label, the axis and its breaks' labels, above the rows
constexpr std::size_t kMostLabelCharacters = 24;  // of a partition's name in a label

// The fixed places of the header section (the format's own layout).
constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kHeaderSectionLength = 1024 * kKiB;
constexpr std::uint64_t kSlot = 64 * kKiB;

std::uint64_t EndOf(const Place& place) {
  return place.length > std::numeric_limits<std::uint64_t>::max() - place.offset
             ? std::numeric_limits<std::uint64_t>::max()
             : place.offset + place.length;
}

// One row of a map.
struct Row {
  std::string label;  // plain text, escaped when written
  std::vector<Place> places;
  const char* colour = kStructureColour;
  std::string cssClass;  // "mark failed", "mark finding", or empty for a structure
  std::string check;
  std::string title;          // the tooltip: the finding's sentence
  bool placeUnknown = false;  // drawn across the whole axis, hatched
};

// What the page says of a finding: its check, and on which structure.
struct Mark {
  const Finding* finding;
  bool failure;
  const char* colour;
  FindingPlace place;
};

struct Map {
  std::string title;
  std::optional<std::uint64_t> end;  // the file's or the disk's length, when known
  std::string whole;                 // "file" or "disk"
  bool lbas = false;                 // labels in LBAs of `sector` bytes
  std::uint64_t sector = 512;
  std::vector<Row> rows;
};

// The first `most` characters (code points) of UTF-8 text, "…" after them
// when there were more.
std::string Shortened(const std::string& text, std::size_t most) {
  std::size_t characters = 0;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if ((static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) continue;
    if (characters == most) return text.substr(0, at) + "\xE2\x80\xA6";
    ++characters;
  }
  return text;
}

// a * b, or the largest value when the product does not fit.
std::uint64_t Times(std::uint64_t a, std::uint64_t b) {
  return a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a ? std::numeric_limits<std::uint64_t>::max()
                                                                     : a * b;
}

Place PartitionPlace(const Partition& partition, std::uint64_t sector) {
  const std::uint64_t sectors = partition.lastLba - std::min(partition.lastLba, partition.firstLba) + 1;
  return {Times(partition.firstLba, sector), Times(sectors, sector), false};
}

std::string PlaceText(const Map& map, const Place& place) {
  if (place.beforeStart) return "before offset 0, " + LengthText(place.length);
  if (map.lbas) return "LBA " + HexNumber(place.offset / map.sector) + ", " + LengthText(place.length);
  return HexNumber(place.offset) + ", " + LengthText(place.length);
}

Row StructureRow(const Map& map, const std::string& name, const Place& place, const char* colour = kStructureColour) {
  Row row;
  row.label = name + " \xC2\xB7 " + PlaceText(map, place);
  row.places.push_back(place);
  row.colour = colour;
  return row;
}

// The places `mark` concerns on this map; nothing when the map lacks the
// fact (the row is then drawn as a place not known).
std::vector<Place> PlacesOf(const Mark& mark, const MapFacts& facts) {
  const FindingPlace& at = mark.place;
  std::vector<Place> places;
  const auto copies = [&](const std::vector<Place>& known, std::uint64_t first) {
    for (std::uint64_t i = 0; i < 2; ++i) {
      if (at.index && *at.index != i) continue;
      places.push_back(i < known.size() ? known[i] : Place{first + i * kSlot, kSlot, false});
    }
  };
  const std::uint64_t sector = facts.sectorSize.value_or(512);
  const auto gpts = [&](const auto& take) {
    if (at.side != "backup" && facts.primaryGpt) take(*facts.primaryGpt);
    if (at.side != "primary" && facts.backupGpt) take(*facts.backupGpt);
  };
  switch (at.structure) {
    case Structure::kWholeFile:
      if (facts.fileSize) places.push_back({0, *facts.fileSize, false});
      break;
    case Structure::kHeaderSection:
      places.push_back({0, kHeaderSectionLength, false});
      break;
    case Structure::kFileIdentifier:
      places.push_back({0, kSlot, false});
      break;
    case Structure::kHeaders:
      copies(facts.headers, kSlot);
      break;
    case Structure::kRegionTables:
      copies(facts.regionTables, 3 * kSlot);
      break;
    case Structure::kLog:
      if (facts.log) places.push_back(*facts.log);
      break;
    case Structure::kMetadataRegion:
      if (facts.metadataRegion) places.push_back(*facts.metadataRegion);
      break;
    case Structure::kBatRegion:
      if (facts.batRegion) places.push_back(*facts.batRegion);
      break;
    case Structure::kPartitionArea:
      if (facts.partitionArea) places.push_back(*facts.partitionArea);
      break;
    case Structure::kGptTrailer:
      if (facts.gptTrailer) places.push_back(*facts.gptTrailer);
      break;
    case Structure::kFileEnd:
      if (facts.fileSize) places.push_back({*facts.fileSize, 0, false});
      break;
    case Structure::kFileOffset:
      places.push_back({at.offset.value_or(0), 0, false});
      break;
    case Structure::kGptHeader:
      gpts([&](const GptPlace& gpt) { places.push_back({Times(gpt.headerLba, sector), sector, false}); });
      break;
    case Structure::kGptEntries:
      gpts([&](const GptPlace& gpt) { places.push_back({Times(gpt.entriesLba, sector), gpt.entriesBytes, false}); });
      break;
    case Structure::kPartition:
      for (std::size_t i = 0; i < facts.partitions.size(); ++i) {
        if (at.index && *at.index != i) continue;
        const Partition& p = facts.partitions[i];
        places.push_back(PartitionPlace(p, sector));
      }
      break;
  }
  return places;
}

std::string StructureName(const FindingPlace& at) {
  switch (at.structure) {
    case Structure::kWholeFile:
      return "the file";
    case Structure::kHeaderSection:
      return "the header section";
    case Structure::kFileIdentifier:
      return "the file identifier";
    case Structure::kHeaders:
      return at.index ? "header " + std::to_string(*at.index + 1) : "the headers";
    case Structure::kRegionTables:
      return at.index ? "region table " + std::to_string(*at.index + 1) : "the region tables";
    case Structure::kLog:
      return "the log";
    case Structure::kMetadataRegion:
      return "the metadata region";
    case Structure::kBatRegion:
      return "the BAT region";
    case Structure::kPartitionArea:
      return "the partition-table area";
    case Structure::kGptTrailer:
      return "the GPT trailer";
    case Structure::kFileEnd:
      return "the end of the file";
    case Structure::kFileOffset:
      return "offset " + HexNumber(at.offset.value_or(0));
    case Structure::kGptHeader:
      return at.side.empty() ? "both GPT headers" : "the " + at.side + " GPT header";
    case Structure::kGptEntries:
      return at.side.empty() ? "both entry arrays" : "the " + at.side + " entry array";
    case Structure::kPartition:
      return at.index ? "partition entry " + std::to_string(*at.index + 1) : "the partitions";
  }
  return "";
}

Row MarkRow(const Mark& mark, const MapFacts& facts) {
  Row row;
  row.places = PlacesOf(mark, facts);
  row.placeUnknown = row.places.empty();
  row.colour = mark.colour;
  row.cssClass = mark.failure ? "mark failed" : "mark finding";
  row.check = mark.finding->check;
  row.label = std::string(mark.failure ? "\xE2\x9C\x97 " : "\xE2\x97\x86 ") + mark.finding->check + " \xC2\xB7 " +
              StructureName(mark.place) + (row.placeUnknown ? " (place not known)" : "");
  row.title = mark.finding->description.empty() ? mark.finding->message : mark.finding->description;
  return row;
}

Map FileMap(const MapFacts& facts, const std::vector<Mark>& marks) {
  Map map;
  map.title = "The file";
  map.end = facts.fileSize;
  map.whole = "file";
  map.rows.push_back(StructureRow(map, "header section", {0, kHeaderSectionLength, false}));
  map.rows.push_back(StructureRow(map, "file identifier", {0, kSlot, false}));
  for (std::size_t i = 0; i < 2; ++i) {
    const Place header = i < facts.headers.size() ? facts.headers[i] : Place{(i + 1) * kSlot, kSlot, false};
    map.rows.push_back(StructureRow(map, "header " + std::to_string(i + 1), header));
  }
  for (std::size_t i = 0; i < 2; ++i) {
    const Place table = i < facts.regionTables.size() ? facts.regionTables[i] : Place{(i + 3) * kSlot, kSlot, false};
    map.rows.push_back(StructureRow(map, "region table " + std::to_string(i + 1), table));
  }
  if (facts.log) map.rows.push_back(StructureRow(map, "log", *facts.log));
  if (facts.metadataRegion) map.rows.push_back(StructureRow(map, "metadata region", *facts.metadataRegion));
  if (facts.batRegion) map.rows.push_back(StructureRow(map, "BAT region", *facts.batRegion));
  if (facts.partitionArea) map.rows.push_back(StructureRow(map, "partition-table area", *facts.partitionArea));
  if (facts.gptTrailer) map.rows.push_back(StructureRow(map, "GPT trailer", *facts.gptTrailer));
  const std::size_t groups = facts.presentBlocks.size();
  for (std::size_t i = 0; i < groups; ++i) {
    std::string name = "present blocks";
    if (facts.presentExtents > groups) {
      const std::uint64_t first = i * facts.presentExtents / groups;
      const std::uint64_t last = (i + 1) * facts.presentExtents / groups;
      name += " (extents " + std::to_string(first + 1) + "-" + std::to_string(last) + " of " +
              std::to_string(facts.presentExtents) + ")";
    }
    map.rows.push_back(StructureRow(map, name, facts.presentBlocks[i], kBlockColour));
  }
  for (const Mark& mark : marks) {
    if (!OnDisk(mark.place.structure)) map.rows.push_back(MarkRow(mark, facts));
  }
  return map;
}

std::optional<Map> DiskMap(const MapFacts& facts, const std::vector<Mark>& marks) {
  const bool anyOnDisk =
      std::any_of(marks.begin(), marks.end(), [](const Mark& mark) { return OnDisk(mark.place.structure); });
  if (!facts.primaryGpt && !facts.backupGpt && !anyOnDisk) return std::nullopt;
  Map map;
  map.title = "The virtual disk";
  map.lbas = true;
  map.sector = facts.sectorSize.value_or(512);
  if (map.sector == 0) map.sector = 512;
  map.end = facts.diskSize;
  map.whole = "disk";
  map.rows.push_back(StructureRow(map, "protective MBR", {0, map.sector, false}));
  const auto gpt = [&](const std::optional<GptPlace>& place, const char* side) {
    if (!place) return;
    map.rows.push_back(
        StructureRow(map, std::string(side) + " GPT header", {Times(place->headerLba, map.sector), map.sector, false}));
    map.rows.push_back(StructureRow(map, std::string(side) + " entries",
                                    {Times(place->entriesLba, map.sector), place->entriesBytes, false}));
  };
  gpt(facts.primaryGpt, "primary");
  for (const Partition& partition : facts.partitions) {
    // The type only when the name is not the type's own.
    std::string label = Shortened(partition.name, kMostLabelCharacters);
    if (partition.name != partition.typeName) label += " (" + Shortened(partition.typeName, kMostLabelCharacters) + ")";
    map.rows.push_back(StructureRow(map, label, PartitionPlace(partition, map.sector)));
    map.rows.back().title = partition.name + " (" + partition.typeName + ")";
  }
  gpt(facts.backupGpt, "backup");
  for (const Mark& mark : marks) {
    if (OnDisk(mark.place.structure)) map.rows.push_back(MarkRow(mark, facts));
  }
  return map;
}

// A pixel value to one decimal, without ".0" when it is whole. By integer
// conversion: snprintf's "%.1f" took 5 % of a report of damaged images.
void AppendNumber(std::string& out, double value) {
  const long long tenths = std::llround(value * 10);
  const unsigned long long magnitude =
      tenths < 0 ? 0ULL - static_cast<unsigned long long>(tenths) : static_cast<unsigned long long>(tenths);
  if (tenths < 0) out += '-';
  std::array<char, 24> digits{};
  const auto whole = std::to_chars(digits.data(), digits.data() + digits.size(), magnitude / 10);
  out.append(digits.data(), whole.ptr);
  if (magnitude % 10 != 0) {
    out += '.';
    out += static_cast<char>('0' + magnitude % 10);
  }
}

// <tag x="..." ...>: the attributes after `open`, numbers with one decimal.
void AppendRect(std::string& out, double x, double y, double width, double height, const char* fill,
                const char* extra = "") {
  out += "<rect x=\"";
  AppendNumber(out, x);
  out += "\" y=\"";
  AppendNumber(out, y);
  out += "\" width=\"";
  AppendNumber(out, width);
  out += "\" height=\"";
  AppendNumber(out, height);
  out += "\" fill=\"";
  out += fill;
  out += "\"";
  out += extra;
  out += "/>";
}

void AppendText(std::string& out, double x, double y, const std::string& text, const char* extra = "") {
  out += "<text x=\"";
  AppendNumber(out, x);
  out += "\" y=\"";
  AppendNumber(out, y);
  out += "\"";
  out += extra;
  out += ">";
  AppendEscaped(out, text);
  out += "</text>";
}

void AppendMap(std::string& out, const Map& map) {
  std::vector<AxisRange> ranges;
  for (const Row& row : map.rows) {
    for (const Place& place : row.places) ranges.push_back({place.offset, EndOf(place)});
  }
  const std::uint64_t end = map.end.value_or(0);
  const BrokenAxis axis(end, ranges, AxisShape{kAxisWidth, 6, 56});
  const double width = kLabelWidth + axis.TotalWidth() + 16;
  const double height = kAxisHeight + kRowHeight * static_cast<double>(map.rows.size()) + 6;
  const auto x = [&](std::uint64_t position) { return kLabelWidth + axis.X(position); };

  out += "<h4>";
  AppendEscaped(out, map.title);
  if (axis.ToScale()) {
    out += " (to scale)";
  } else if (axis.Breaks().empty()) {
    out += " (to scale but for small structures, widened to be seen)";
  } else {
    out += axis.Widened() ? " (not to scale: long empty stretches cut out, small structures widened)"
                          : " (not to scale: long empty stretches cut out)";
  }
  out += "</h4>\n<svg xmlns=\"http://www.w3.org/2000/svg\" role=\"img\" width=\"";
  AppendNumber(out, width);
  out += "\" height=\"";
  AppendNumber(out, height);
  out += "\" viewBox=\"0 0 ";
  AppendNumber(out, width);
  out += " ";
  AppendNumber(out, height);
  out += "\">";
  const char* const hatch = "url(#hatch)";  // AppendMapDefinitions

  // The axis: the file (or disk) in light grey, past its end hatched; the
  // end's label above it, the labels of the breaks and of what lies past the
  // end below it.
  const double axisY = 20;
  const double belowY = axisY + 22;
  if (map.end) {
    AppendRect(out, x(0), axisY, axis.X(end), 8, "#ddd");
    if (axis.End() > end) {
      AppendRect(out, x(end), axisY, axis.TotalWidth() - axis.X(end), 8, hatch);
      AppendText(out, (x(end) + kLabelWidth + axis.TotalWidth()) / 2, belowY + 20, "past the " + map.whole + "'s end",
                 " class=\"past\" text-anchor=\"middle\"");
    }
  } else {
    AppendRect(out, x(0), axisY, axis.TotalWidth(), 8, hatch);
    AppendText(out, x(0), belowY + 10, "the " + map.whole + "'s length is not known", " class=\"past\"");
  }
  AppendText(out, x(0), axisY - 4, "0", " class=\"tick\" text-anchor=\"end\"");
  bool lower = false;  // the labels of neighbouring breaks on two lines
  for (const AxisBreak& gap : axis.Breaks()) {
    AppendRect(out, kLabelWidth + gap.x + 2, axisY - 2, gap.width - 4, 12, "#fff");
    out += "<path d=\"M";
    AppendNumber(out, kLabelWidth + gap.x + gap.width / 2 - 6);
    out += " ";
    AppendNumber(out, axisY + 12);
    out += " l6 -16 M";
    AppendNumber(out, kLabelWidth + gap.x + gap.width / 2);
    out += " ";
    AppendNumber(out, axisY + 12);
    out += " l6 -16\" stroke=\"#333\" fill=\"none\"/>";
    AppendText(out, kLabelWidth + gap.x + gap.width / 2, belowY + (lower ? 10 : 0), LengthText(gap.end - gap.start),
               " class=\"break\" text-anchor=\"middle\"");
    lower = !lower;
  }

  for (std::size_t i = 0; i < map.rows.size(); ++i) {
    const Row& row = map.rows[i];
    const double y = kAxisHeight + kRowHeight * static_cast<double>(i);
    if (!row.cssClass.empty()) {
      out += "<g class=\"" + row.cssClass + "\" data-check=\"";
      AppendEscaped(out, row.check);
      out += "\">";
    } else {
      out += "<g class=\"structure\">";
    }
    if (!row.title.empty()) {
      out += "<title>";
      AppendEscaped(out, row.title);
      out += "</title>";
    }
    AppendText(out, 4, y + 13, row.label);
    if (row.placeUnknown) {
      AppendRect(out, x(0), y + 3, axis.TotalWidth(), 12, hatch, " stroke-width=\"2\"");
      AppendRect(out, x(0), y + 3, 12, 12, row.colour);
    }
    for (const Place& place : row.places) {
      AppendRect(out, x(place.offset), y + 3, axis.Width({place.offset, EndOf(place)}), 12, row.colour);
    }
    out += "</g>";
  }
  // The end marker through every row, named at the top.
  if (map.end) {
    out += "<line x1=\"";
    AppendNumber(out, x(end));
    out += "\" x2=\"";
    AppendNumber(out, x(end));
    out += "\" y1=\"";
    AppendNumber(out, axisY - 2);
    out += "\" y2=\"";
    AppendNumber(out, height);
    out += "\" stroke=\"#000\" stroke-dasharray=\"3 2\"/>";
    // Beside the marker, on the side with more room.
    const bool left = axis.X(end) > axis.TotalWidth() / 2;
    AppendText(out, x(end) + (left ? -4 : 4), axisY - 6,
               "end of " + map.whole + " " + (map.lbas ? "LBA " + HexNumber(end / map.sector) : HexNumber(end)),
               left ? " class=\"tick\" text-anchor=\"end\"" : " class=\"tick\"");
  }
  out += "</svg>\n";
}

}  // namespace

void AppendMapDefinitions(std::string& out) {
  out +=
      "<svg width=\"0\" height=\"0\" style=\"position:absolute\" aria-hidden=\"true\"><defs><pattern id=\"hatch\" "
      "width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" patternTransform=\"rotate(45)\"><rect width=\"3\" "
      "height=\"6\" fill=\"#bbb\"/></pattern></defs></svg>\n";
}

void AppendImageMaps(std::string& out, const ImageRecord& record, std::size_t number) {
  if (!record.map) return;
  const MapFacts& facts = *record.map;
  std::vector<Mark> marks;
  if (record.failure) marks.push_back({&*record.failure, true, kFailureColour, PlaceOf(*record.failure)});
  std::size_t next = 0;
  for (const auto* list : {&record.gptFindings, &record.warnings, &record.structureFindings}) {
    for (const Finding& finding : *list) {
      marks.push_back({&finding, false, kFindingColours[next % kFindingColours.size()], PlaceOf(finding)});
      ++next;
    }
  }
  const std::string id = "map-" + std::to_string(number);
  out += "<section class=\"map\" id=\"" + id + "\" data-verdict=\"";
  out += VerdictName(record.verdict);
  out += "\">\n<h3><a href=\"#row-" + std::to_string(number) + "\">";
  AppendEscaped(out, record.path);
  out += "</a> <span class=\"verdict ";
  out += VerdictName(record.verdict);
  out += "\">";
  out += VerdictName(record.verdict);
  out += "</span></h3>\n";
  AppendMap(out, FileMap(facts, marks));
  if (const std::optional<Map> disk = DiskMap(facts, marks)) AppendMap(out, *disk);
  if (!marks.empty()) {
    out += "<ul class=\"findings\">\n";
    for (const Mark& mark : marks) {
      out += "<li><span class=\"swatch\" style=\"background:";
      out += mark.colour;
      out += "\"></span><code>";
      AppendEscaped(out, mark.finding->check);
      out += "</code> on ";
      AppendEscaped(out, StructureName(mark.place));
      out += ": ";
      AppendEscaped(out, mark.finding->description.empty() ? mark.finding->message : mark.finding->description);
      out += "</li>\n";
    }
    out += "</ul>\n";
  }
  out += "</section>\n";
}

}  // namespace vhdx_inspect::views::html
