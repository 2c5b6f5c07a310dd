// Expected text of the container report and of the diagnostic lines, built
// from the report's documented labels and the values an image was written
// with: never from the tool's own output.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform_expectations.h"
#include "support/container_damage.h"
#include "support/plugin_image.h"

namespace e2e {

// The number base that earlier output left in force on the tool's standard
// output. It decides how the values written without a base of their own come
// out: the first three header values and the numbers in diagnostic lines.
enum class Base {
  kDecimal,           // the start of a run
  kHexWithoutPrefix,  // after the virtual size warning, while the prefix flag is still off
  kHexWithPrefix,     // after the partition-table report, or a warning once the flag is on
};

// A number in hexadecimal with the 0x prefix; zero is written as a bare 0.
inline std::string Hex(std::uint64_t value) {
  if (value == 0) return "0";
  std::ostringstream text;
  text << "0x" << std::hex << value;
  return text.str();
}

// A number as it comes out in `base`.
inline std::string InBase(std::uint64_t value, Base base) {
  std::ostringstream text;
  switch (base) {
    case Base::kDecimal:
      text << value;
      break;
    case Base::kHexWithoutPrefix:
      text << std::hex << value;
      break;
    case Base::kHexWithPrefix:
      return Hex(value);
  }
  return text.str();
}

// A signed 64-bit field written in hexadecimal: its two's-complement bits.
inline std::uint64_t Bits(std::int64_t value) { return static_cast<std::uint64_t>(value); }

// What the tool writes after a failed check: the check's line, then the
// sequence's own line.
inline std::string Corrupt(const std::string& line) { return line + "\nException occurred: plugin VHDX is corrupt\n"; }

// The line of a failed open of `path`, its status in `base`.
inline std::string OpenFailed(Failure failure, const std::string& path, Base base = Base::kDecimal) {
  return "CreateFile failed with status " + InBase(static_cast<std::uint64_t>(StatusOf(failure)), base) +
         " for file: " + path;
}

// The line of a file position of `path` that cannot be reached, its status in
// `base`.
inline std::string PositionFailed(const std::string& path, Base base) {
  return "SetFilePointerEx failed with status " +
         InBase(static_cast<std::uint64_t>(StatusOf(Failure::kInvalidPosition)), base) + " for file: " + path;
}

struct ExpectedVolume {
  std::uint32_t cbSize = 0;
  std::uint32_t cbMetaDataOffset = 0;
  std::uint32_t mySize = 0;
  std::int64_t nVolumeSize = 0;
  std::uint16_t cbPassword = 0;
  std::uint32_t cbPasswordOffset = 0;
  std::uint64_t cbImageFileList = 0;  // bytes
};

// Every value that the container report shows.
struct ExpectedReport {
  std::string path;
  Base base = Base::kDecimal;  // in force when the report starts

  // Header block.
  std::uint64_t sequenceNumber = 0;
  std::uint16_t version = 0;
  std::uint16_t logVersion = 0;
  std::uint32_t logLength = 0;
  std::uint64_t logOffset = 0;
  std::uint32_t metadataLength = 0;
  std::uint64_t metadataOffset = 0;
  std::uint32_t batLength = 0;
  std::uint64_t batOffset = 0;

  // Metadata summary.
  std::uint32_t blockSize = 0;
  std::uint32_t logicalSectorSize = 0;
  std::uint32_t physicalSectorSize = 0;
  std::uint64_t virtualDiskSize = 0;
  std::uint32_t chunkRatio = 0;

  // Plugin header.
  std::uint32_t pluginOffset = 0;
  std::uint32_t revision = 0;
  std::int64_t nVirtualDiskSize = 0;
  std::int64_t nMbrGptSize = 0;
  std::int64_t nGptTrailerLength = 0;
  std::int64_t nGptTrailerDiskOffset = 0;  // the two trailer lines appear when this is not 0
  std::uint32_t cbMaxMetaData = 0;
  std::uint32_t cbTotalMetaData = 0;

  std::vector<ExpectedVolume> volumes;
};

// One volume block of the container report, each value as the report writes it.
struct VolumeText {
  std::string cbSize, cbMetaDataOffset, mySize, nVolumeSize, cbPassword, cbPasswordOffset, cbImageFileList;
};

// Every value of the container report as the report writes it, for a report
// written out value by value.
struct ReportText {
  std::string path;
  std::string sequenceNumber, version, logVersion;
  std::string logLength, logOffset, metadataLength, metadataOffset, batLength, batOffset;
  std::string blockSize, logicalSectorSize, physicalSectorSize, virtualDiskSize, chunkRatio;
  std::string pluginOffset, revision, nVirtualDiskSize, nMbrGptSize;
  std::string nGptTrailerLength, nGptTrailerDiskOffset;  // both lines are left out when these are empty
  std::string cbMaxMetaData, cbTotalMetaData;
  std::vector<VolumeText> volumes;
};

// The "Parsing " line, the header block, the metadata summary, the plugin
// header and one block per volume, exactly as documented.
inline std::string ContainerReport(const ReportText& r) {
  std::string t;
  const auto line = [&t](const std::string& text) { t += text + "\n"; };
  line("Parsing " + r.path);
  line("");

  line("");
  line("=========== HEADER ");
  line("SequenceNumber:   " + r.sequenceNumber);
  line("Version:          " + r.version);
  line("LogVersion:       " + r.logVersion);
  line("LogLength:        " + r.logLength);
  line("LogOffset:        " + r.logOffset);
  line("MetadataLength:   " + r.metadataLength);
  line("MetadataOffset:   " + r.metadataOffset);
  line("BATLength:        " + r.batLength);
  line("BATOffset:        " + r.batOffset);
  line("");

  line("");
  line("=========== Metadata Entry Summary ");
  line("BlockSize:         " + r.blockSize);
  line("LogicalSectorSize: " + r.logicalSectorSize);
  line("PhyicalSectorSize: " + r.physicalSectorSize);
  line("VirtualDiskSize:   " + r.virtualDiskSize);
  line("ChunkRatio:        " + r.chunkRatio);
  line("");
  line("");
  line("=========== Plugin Header ");
  line("PlugIn Header offset:  " + r.pluginOffset);
  line("Revision:              " + r.revision);
  line("nVirtualDiskSize:      " + r.nVirtualDiskSize);
  line("nMbrGptSize:           " + r.nMbrGptSize);
  if (!r.nGptTrailerDiskOffset.empty()) {
    line("nGptTrailerLength:     " + r.nGptTrailerLength);
    line("nGptTrailerDiskOffset: " + r.nGptTrailerDiskOffset);
  }
  line("cbMaxMetaData:         " + r.cbMaxMetaData);
  line("cbTotalMetaData:       " + r.cbTotalMetaData);
  line("");

  for (std::size_t i = 0; i < r.volumes.size(); ++i) {
    const VolumeText& v = r.volumes[i];
    line("");
    line("=========== Volume " + std::to_string(i + 1));
    line("\tcbSize:           " + v.cbSize);
    line("\tcbMetaDataOffset: " + v.cbMetaDataOffset);
    line("");
    line("\t=========== Volume Plugin Metadata");
    line("\t\tMySize:           " + v.mySize);
    line("\t\tnVolumeSize:      " + v.nVolumeSize);
    line("\t\tcbPassword:       " + v.cbPassword);
    line("\t\tcbPasswordOffset: " + v.cbPasswordOffset);
    line("\t\tcbImageFileList:  " + v.cbImageFileList);
    line("");
  }
  return t;
}

// The values of `r` as the report writes them: the first three header values
// in the base in force, ChunkRatio, Revision, cbPassword and cbImageFileList
// in decimal, everything else in hexadecimal with the prefix.
inline ReportText AsWritten(const ExpectedReport& r) {
  ReportText t;
  t.path = r.path;
  t.sequenceNumber = InBase(r.sequenceNumber, r.base);
  t.version = InBase(r.version, r.base);
  t.logVersion = InBase(r.logVersion, r.base);
  t.logLength = Hex(r.logLength);
  t.logOffset = Hex(r.logOffset);
  t.metadataLength = Hex(r.metadataLength);
  t.metadataOffset = Hex(r.metadataOffset);
  t.batLength = Hex(r.batLength);
  t.batOffset = Hex(r.batOffset);
  t.blockSize = Hex(r.blockSize);
  t.logicalSectorSize = Hex(r.logicalSectorSize);
  t.physicalSectorSize = Hex(r.physicalSectorSize);
  t.virtualDiskSize = Hex(r.virtualDiskSize);
  t.chunkRatio = std::to_string(r.chunkRatio);
  t.pluginOffset = Hex(r.pluginOffset);
  t.revision = std::to_string(r.revision);
  t.nVirtualDiskSize = Hex(Bits(r.nVirtualDiskSize));
  t.nMbrGptSize = Hex(Bits(r.nMbrGptSize));
  if (r.nGptTrailerDiskOffset != 0) {
    t.nGptTrailerLength = Hex(Bits(r.nGptTrailerLength));
    t.nGptTrailerDiskOffset = Hex(Bits(r.nGptTrailerDiskOffset));
  }
  t.cbMaxMetaData = Hex(r.cbMaxMetaData);
  t.cbTotalMetaData = Hex(r.cbTotalMetaData);
  for (const ExpectedVolume& v : r.volumes) {
    t.volumes.push_back({Hex(v.cbSize), Hex(v.cbMetaDataOffset), Hex(v.mySize), Hex(Bits(v.nVolumeSize)),
                         std::to_string(v.cbPassword), Hex(v.cbPasswordOffset), std::to_string(v.cbImageFileList)});
  }
  return t;
}

inline std::string ContainerReport(const ExpectedReport& r) { return ContainerReport(AsWritten(r)); }

// The chunk ratio of the one block size an image may have (32 MiB), at each
// logical sector size that the tests build images with.
inline std::uint32_t ChunkRatioOf32MiBBlocks(std::uint32_t logicalSectorSize) {
  switch (logicalSectorSize) {
    case 512:
      return 128;
    case 4096:
      return 1024;
    default:
      throw std::invalid_argument("no chunk ratio written down for logical sectors of " +
                                  std::to_string(logicalSectorSize) + " bytes");
  }
}

// The values that `image` was built with, as its report shows them when it
// is inspected under `path`.
inline ExpectedReport ReportOf(const testsupport::PluginImage& image, const std::string& path) {
  const testsupport::ImageDescription& d = image.description();
  const testsupport::Layout& l = image.layout();
  ExpectedReport r;
  r.path = path;
  r.sequenceNumber =
      d.header1SequenceNumber > d.header2SequenceNumber ? d.header1SequenceNumber : d.header2SequenceNumber;
  r.version = d.version;
  r.logVersion = d.logVersion;
  r.logLength = d.logLength;
  r.logOffset = d.logOffset;
  r.metadataLength = static_cast<std::uint32_t>(l.metadataRegionLength);
  r.metadataOffset = l.metadataRegion;
  r.batLength = static_cast<std::uint32_t>(l.batRegionLength);
  r.batOffset = l.batRegion;

  r.blockSize = d.blockSize;
  r.logicalSectorSize = d.logicalSectorSize;
  r.physicalSectorSize = d.physicalSectorSize;
  r.virtualDiskSize = d.virtualDiskSize;
  if (d.blockSize != 32 * testsupport::kMiB) throw std::invalid_argument("an image's blocks are 32 MiB");
  r.chunkRatio = ChunkRatioOf32MiBBlocks(d.logicalSectorSize);

  r.pluginOffset = static_cast<std::uint32_t>(l.pluginItem - l.metadataRegion);
  r.revision = d.pluginRevision;
  r.nMbrGptSize = static_cast<std::int64_t>(l.partitionAreaSize);
  r.nVirtualDiskSize = d.nVirtualDiskSize.value_or(static_cast<std::int64_t>(d.virtualDiskSize) - r.nMbrGptSize);
  r.nGptTrailerLength = static_cast<std::int64_t>(l.trailerLength);
  r.nGptTrailerDiskOffset = static_cast<std::int64_t>(l.trailerDiskOffset);
  r.cbMaxMetaData = d.cbMaxMetaData;
  r.cbTotalMetaData = l.pluginItemLength;

  for (std::size_t i = 0; i < d.volumes.size(); ++i) {
    const testsupport::Volume& v = d.volumes[i];
    r.volumes.push_back({v.recordSize, static_cast<std::uint32_t>(l.volumeRecords[i] - l.pluginItem), v.recordSize,
                         v.volumeSize, v.passwordSize, v.passwordOffset, 2 * v.imageFileList.size()});
  }
  return r;
}

// The sample image without a GPT trailer, so that its inspection ends with
// the container report.
using testsupport::WithoutTrailer;

// Writes `images` into `directory` under the names "image-1.vhdx",
// "image-2.vhdx" ..., so that a scan of `directory` meets them in the order
// given (whatever order the file system lists names in), and returns the
// paths under which the scan names them, in that order.
inline std::vector<std::string> WriteInListingOrder(const std::filesystem::path& directory,
                                                    const std::vector<const testsupport::PluginImage*>& images) {
  for (std::size_t i = 0; i < images.size(); ++i) {
    const std::filesystem::path placeholder = directory / ("image-" + std::to_string(i + 1) + ".vhdx");
    std::ofstream{placeholder};
  }
  std::vector<std::string> names;
  for (const std::string& name : NamesInListingOrder(directory)) {
    if (name.rfind("image-", 0) == 0) names.push_back(name);
  }
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < images.size(); ++i) {
    images[i]->WriteTo((directory / names.at(i)).string());
    paths.push_back(ScannedPath(directory.string(), names[i]));
  }
  return paths;
}

}  // namespace e2e
