// Writes the sample plugin VHDX image: a 1 GiB disk of 512-byte sectors with
// two volumes, a GPT trailer and three partitions (an EFI system partition, a
// Microsoft reserved partition and a basic data partition).
//
//   make_sample_image sample.vhdx
#include <exception>
#include <iostream>

#include "support/plugin_image.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_sample_image <output.vhdx>\n";
    return 2;
  }
  using namespace testsupport;
  ImageDescription sample;
  sample.logicalSectorSize = 512;
  sample.physicalSectorSize = 4096;
  sample.virtualDiskSize = 1 * kGiB;
  sample.volumes = {
      {512, 600 * kMiB, 0, 0, u"D:\\Images\\system.twb"},
      {512, 400 * kMiB, 0, 0, u"D:\\Images\\data-1.twb|D:\\Images\\data-2.twb"},
  };
  sample.gptTrailer = true;
  sample.gptTrailerDiskOffset = 1 * kMiB;
  sample.partitions = StandardPartitions(sample.logicalSectorSize, sample.virtualDiskSize);
  try {
    PluginImage::Build(sample).WriteTo(argv[1]);
  } catch (const std::exception& e) {
    std::cerr << "make_sample_image: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
