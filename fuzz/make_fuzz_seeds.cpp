// Writes the seed corpus of the fuzz target: valid images from the test
// support, in the target's input format (sparse_image.h), one file each.
//
//   make_fuzz_seeds <directory>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "fuzz/sparse_image.h"
#include "support/log_entries.h"
#include "support/plugin_image.h"

namespace {

using testsupport::ImageDescription;
using testsupport::PluginImage;
using testsupport::Volume;

std::vector<Volume> Volumes(int count) {
  std::vector<Volume> volumes;
  for (int i = 0; i < count; ++i) {
    std::u16string list = u"D:\\Images\\volume-" + std::u16string(1, static_cast<char16_t>(u'a' + i)) + u".twb";
    volumes.push_back({512, static_cast<std::int64_t>(16 * testsupport::kMiB), 0, 0, list});
  }
  return volumes;
}

void WriteSeed(const std::filesystem::path& directory, const std::string& name, const PluginImage& image) {
  const std::vector<std::byte> input = fuzz::EncodeSparseImage(image.bytes());
  std::ofstream file(directory / name, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
  if (!file) throw std::runtime_error("cannot write " + (directory / name).string());
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 2) {
    std::cerr << "usage: make_fuzz_seeds <directory>\n";
    return 2;
  }
  const std::filesystem::path directory = argv[1];
  std::filesystem::create_directories(directory);
  try {
    for (const std::uint32_t sectorSize : {512u, 4096u}) {
      for (const int volumes : {0, 1, 16}) {
        for (const bool trailer : {true, false}) {
          ImageDescription d;
          d.logicalSectorSize = sectorSize;
          d.volumes = Volumes(volumes);
          d.gptTrailer = trailer;
          const std::string name = "valid-" + std::to_string(sectorSize) + "-sectors-" + std::to_string(volumes) +
                                   "-volumes-" + (trailer ? "trailer" : "no-trailer");
          WriteSeed(directory, name, PluginImage::Build(d));
        }
      }
    }
    WriteSeed(directory, "sample", PluginImage::Build(ImageDescription{}));
    {
      // A log of two entries to replay, which reaches the log's checks.
      ImageDescription d;
      d.logGuid = testsupport::GuidFromString("0B7A3E51-6C2D-4F18-9A04-5E7D1C3B2A69");
      PluginImage image = PluginImage::Build(d);
      const std::uint64_t end = image.layout().fileSize;
      testsupport::LogEntry first{1, 0, end, end, {{end - 4096, 0x5A}, {end - 65536, 0, 8192}}};
      testsupport::LogEntry second{2, 0, end, end, {{end - 8192, 0xA5}}};
      testsupport::PutLogEntries(image, 0, {first, second});
      WriteSeed(directory, "log-two-entries", image);
    }
    {
      // Present blocks of 1 MiB: the BAT's places.
      ImageDescription d;
      d.blockSize = static_cast<std::uint32_t>(testsupport::kMiB);
      d.batEntries = {{0, testsupport::kBlockFullyPresent, 6 * testsupport::kMiB},
                      {2, testsupport::kBlockFullyPresent, 7 * testsupport::kMiB}};
      WriteSeed(directory, "present-blocks", PluginImage::Build(d));
    }
  } catch (const std::exception& e) {
    std::cerr << "make_fuzz_seeds: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
