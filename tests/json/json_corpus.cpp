#include "json_corpus.h"

#include <fstream>
#include <limits>

#include "hostile/hostile_corpus.h"
#include "support/log_entries.h"
#include "support/plugin_image.h"

namespace json_test {
namespace {

using namespace testsupport;
namespace fs = std::filesystem;

std::function<void(const fs::path&)> Image(ImageDescription description,
                                           std::function<void(PluginImage&)> damage = {}) {
  return [=](const fs::path& path) {
    PluginImage image = PluginImage::Build(description);
    if (damage) damage(image);
    image.WriteTo(path.string());
  };
}

ImageDescription WithCreator(std::u16string creator) {
  ImageDescription d;
  d.creator = std::move(creator);
  return d;
}

ImageDescription WithSignature(std::string signature) {
  ImageDescription d;
  d.signature = std::move(signature);
  return d;
}

// The sample with the basic data partition named `name` in both tables.
ImageDescription WithDataPartitionName(std::u16string name) {
  ImageDescription d;
  std::vector<GptPartition> partitions = StandardPartitions(d.logicalSectorSize, d.virtualDiskSize);
  partitions.back().name = std::move(name);
  d.partitions = partitions;
  return d;
}

ImageDescription WithSequenceNumber(std::uint64_t number) {
  ImageDescription d;
  d.header2SequenceNumber = number;
  return d;
}

ImageDescription WithPluginVirtualDiskSize(std::int64_t size) {
  ImageDescription d;
  d.nVirtualDiskSize = size;
  return d;
}

ImageDescription WithLogGuid() {
  ImageDescription d;
  d.logGuid = GuidFromString("0D6E5B1A-2C3F-4A87-9B10-6E2F4C8D1A35");
  return d;
}

// One log entry with one write, a sequence of its own: a replay is pending.
void PutOneLogEntry(PluginImage& image) {
  LogEntry entry;
  entry.sequence = 1;
  entry.flushedFileOffset = image.layout().fileSize;
  entry.lastFileOffset = image.layout().fileSize;
  entry.writes = {{image.layout().fileSize - 4096, 0x5A}};
  PutLogEntries(image, 0, {entry});
}

void Truncated(const fs::path& path) {
  std::ofstream file(path, std::ios::binary);
  file << std::string(1000, 'v');
}

}  // namespace

const std::vector<Fixture>& Fixtures() {
  static const std::vector<Fixture> fixtures = {
      {"sound.vhdx", Image({}), "sound", "", {}, {}},
      {"missing.vhdx", {}, "unreadable", "image.open", {}, {}},
      {"truncated.vhdx", Truncated, "corrupt", "header_section.short", {}, {}},
      {"signature-other.vhdx", Image(WithSignature("vhdxfilz")), "corrupt", "file_identifier.signature", {}, {}},
      {"creator-other.vhdx", Image(WithCreator(u"Someone Else 2.0")), "not_plugin", "file_identifier.creator", {}, {}},
      {"backup-gpt-header-crc.vhdx",
       Image({}, [](PluginImage& image) { image.Put32(image.layout().backupGptHeader + 16, 0x12345678); }),
       "gpt_mismatch",
       "",
       {{"gpt.header_crc", "backup"}},
       {}},
      {"primary-gpt-header-crc.vhdx",
       Image({}, [](PluginImage& image) { image.Put32(image.layout().primaryGptHeader + 16, 0x9abcdef0); }),
       "gpt_mismatch",
       "",
       {{"gpt.header_crc", "primary"}},
       {}},
      // A sequence number above 2^53, which a double would round.
      {"sequence-number-max.vhdx",
       Image(WithSequenceNumber(std::numeric_limits<std::uint64_t>::max())),
       "sound",
       "",
       {},
       {}},
      // nVirtualDiskSize + nMbrGptSize, even rounded up to a whole MiB, is
      // 1 MiB short of the virtual disk size.
      {"plugin-virtual-size-other.vhdx",
       Image(WithPluginVirtualDiskSize(0x3fe00000)),
       "sound",
       "",
       {},
       {{"metadata.virtual_disk_size", std::nullopt}}},
      {"log-guid.vhdx", Image(WithLogGuid(), PutOneLogEntry), "sound", "", {}, {{"header.log_guid", std::nullopt}}},
      // LogGuid set over a log without a valid entry: no state to replay to.
      {"log-no-sequence.vhdx",
       Image(WithLogGuid()),
       "corrupt",
       "log.no_valid_sequence",
       {},
       {{"header.log_guid", std::nullopt}}},
      {"partition-name-other.vhdx",
       Image(WithDataPartitionName(u"Scratch")),
       "sound",
       "",
       {},
       {{"gpt.partition_name", "primary"}, {"gpt.partition_name", "backup"}}},
      // A lone surrogate after the expected name: U+FFFD in the object.
      {"partition-name-lone-surrogate.vhdx",
       Image(WithDataPartitionName(std::u16string(u"Basic data partition") + char16_t{0xD800})),
       "sound",
       "",
       {},
       {}},
  };
  return fixtures;
}

void WriteFixtures(const fs::path& directory) {
  for (const Fixture& fixture : Fixtures()) {
    if (fixture.write) fixture.write(directory / fixture.name);
  }
}

void WriteCorpus(const fs::path& directory) {
  fs::create_directories(directory / "fixtures");
  fs::create_directories(directory / "hostile");
  WriteFixtures(directory / "fixtures");
  hostile::WriteCorpus(directory / "hostile");
}

}  // namespace json_test
