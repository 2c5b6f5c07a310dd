// Writes N copies of the sample image into a folder, each a sparse file that
// holds only its 4 KiB pages that are not all zero.
//
//   make_bench_images <folder> <N>      writes <folder>/image-00001.vhdx ...
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <iostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "support/plugin_image.h"

namespace {

constexpr std::size_t kPage = 4096;

// The pages of `image` that hold something, as (offset, bytes).
std::vector<std::pair<off_t, std::span<const std::byte>>> DataPages(std::span<const std::byte> image) {
  std::vector<std::pair<off_t, std::span<const std::byte>>> pages;
  for (std::size_t at = 0; at < image.size(); at += kPage) {
    const auto page = image.subspan(at, std::min(kPage, image.size() - at));
    if (std::any_of(page.begin(), page.end(), [](std::byte b) { return b != std::byte{0}; })) {
      pages.emplace_back(static_cast<off_t>(at), page);
    }
  }
  return pages;
}

bool WriteSparse(const std::string& path, off_t size,
                 const std::vector<std::pair<off_t, std::span<const std::byte>>>& pages) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::ftruncate(fd, size) == 0;
  for (const auto& [at, bytes] : pages) {
    ok = ok && ::pwrite(fd, bytes.data(), bytes.size(), at) == static_cast<ssize_t>(bytes.size());
  }
  return ::close(fd) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::atol(argv[2]) <= 0) {
    std::cerr << "usage: make_bench_images <folder> <N>\n";
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const long count = std::atol(argv[2]);
  try {
    std::filesystem::create_directories(folder);
    const testsupport::PluginImage image = testsupport::PluginImage::Build(testsupport::ImageDescription{});
    const auto pages = DataPages(image.bytes());
    const auto size = static_cast<off_t>(image.bytes().size());
    for (long i = 1; i <= count; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "image-%05ld.vhdx", i);
      if (!WriteSparse((folder / name).string(), size, pages)) {
        std::perror((folder / name).c_str());
        return 1;
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "make_bench_images: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
