// The floor of one inspection: the reads, checksums and flushed lines that
// inspecting a valid plugin VHDX with a GPT trailer cannot do without, and
// nothing else. The tool is timed against this program.
//
//   inspection_floor (-f image | -p folder) <lines> <bytes>
//
// Per image: open for reading, admit a regular file only, take the exclusive
// lock; read 1 MiB at 0, CRC-32C of the current header (4 KiB) and of a region
// table (64 KiB, the other copy too when the first does not match); read 2 MiB
// at the metadata region; read the partition-table area and the GPT trailer
// from the data area; CRC-32 of both GPT headers and entry arrays; then write
// <lines> lines of <bytes> bytes in all, one write(2) per line.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>

#include "partition/crc32.h"
#include "vhdx/crc32c.h"

namespace {

// Buffers made once and never cleared: each read overwrites what is used.
// Page-aligned, where the system copies file data into them fastest.
constexpr std::size_t kAreaCapacity = 1 << 20;
std::span<std::byte> Buffer(std::size_t size) {
  return {static_cast<std::byte*>(std::aligned_alloc(4096, size)), size};
}
const std::span<std::byte> head = Buffer(1 << 20), meta = Buffer(2 << 20), area = Buffer(kAreaCapacity),
                           trailer = Buffer(kAreaCapacity);
long lines, bytes;

std::uint64_t Le(std::span<const std::byte> b, std::uint64_t at, int width) {
  std::uint64_t v = 0;
  if (at > b.size() - 8) return 0;
  for (int i = width; i-- > 0;) v = v << 8 | std::to_integer<std::uint64_t>(b[at + i]);
  return v;
}

bool Crc32cMatches(std::size_t at, std::uint32_t size) {  // checksum field at +4
  const auto stored = static_cast<std::uint32_t>(Le(head, at + 4, 4));
  std::memset(&head[at + 4], 0, 4);
  const std::uint32_t computed = vhdx_inspect::detail::vhdx::crc32c(0xFFFFFFFF, &head[at], size);
  std::memcpy(&head[at + 4], &stored, 4);
  return computed == stored;
}

void Inspect(const char* path) {
  struct stat info {};
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0)
    return (void)::close(fd);
  if (::pread(fd, head.data(), head.size(), 0) != static_cast<ssize_t>(head.size())) return (void)::close(fd);
  std::uint32_t sums = Crc32cMatches(Le(head, 0x10008, 8) > Le(head, 0x20008, 8) ? 0x10000 : 0x20000, 4096);
  if (!Crc32cMatches(0x40000, 65536)) sums += Crc32cMatches(0x30000, 65536);
  const std::uint64_t data = Le(head, 0x40000 + 32, 8) + Le(head, 0x40000 + 40, 4);
  (void)!::pread(fd, meta.data(), meta.size(), static_cast<off_t>(Le(head, 0x40000 + 64, 8)));
  const std::uint64_t plugin = Le(meta, 192 + 16, 4), sector = Le(meta, Le(meta, 96 + 16, 4), 4);
  const std::uint64_t areaSize = Le(meta, plugin + 16, 8), trailerSize = Le(meta, plugin + 24, 8);
  if (areaSize > kAreaCapacity || trailerSize > kAreaCapacity) return (void)::close(fd);
  (void)!::pread(fd, area.data(), areaSize, static_cast<off_t>(data));
  (void)!::pread(fd, trailer.data(), trailerSize, static_cast<off_t>(data + Le(meta, plugin + 32, 8)));
  ::close(fd);
  if (areaSize < 2 * sector + 16384 || trailerSize < 16384 + 92) return;
  const std::span<const std::byte> a(area), t(trailer);
  sums += vhdx_inspect::detail::partition::Crc32SkipField(a.subspan(sector, 92), 16) +
          vhdx_inspect::detail::partition::Crc32(a.subspan(2 * sector, 16384)) +
          vhdx_inspect::detail::partition::Crc32SkipField(t.subspan(16384, 92), 16) +
          vhdx_inspect::detail::partition::Crc32(t.first(16384));
  char line[256];
  std::memset(line, ' ', sizeof line);
  std::memcpy(line, "\t\tValue: 0x", 11);
  for (long i = 0; i < lines; ++i) {  // each line: a label, a number in hex, padding
    const long length = bytes / lines + (i < bytes % lines ? 1 : 0);
    for (std::uint32_t value = sums + static_cast<std::uint32_t>(i), at = 11; at < 19; ++at, value <<= 4) {
      line[at] = "0123456789abcdef"[value >> 28];
    }
    line[length - 1] = '\n';
    (void)!::write(1, line, static_cast<std::size_t>(length));
    line[length - 1] = ' ';
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || (std::strcmp(argv[1], "-f") != 0 && std::strcmp(argv[1], "-p") != 0)) return 1;
  lines = std::atol(argv[3]);
  bytes = std::atol(argv[4]);
  if (lines <= 0 || bytes < lines || bytes / lines < 20 || bytes / lines > 200) return 1;
  if (argv[1][1] == 'f') return Inspect(argv[2]), 0;
  DIR* folder = ::opendir(argv[2]);
  if (folder == nullptr) return 1;
  while (const dirent* entry = ::readdir(folder)) {
    const std::size_t n = std::strlen(entry->d_name);
    if (n > 5 && std::strcmp(entry->d_name + n - 5, ".vhdx") == 0)
      Inspect((std::string(argv[2]) + "/" + entry->d_name).c_str());
  }
  ::closedir(folder);
  return 0;
}
