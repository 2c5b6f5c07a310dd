// The hostile corpus: images damaged, truncated or crafted one way each, and
// paths that are not images at all, each with what the tool must do with it.
// The tests in this folder run the tool on every entry alone and on all of
// them in one directory scan, under valgrind, and under a trace of its opens.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace hostile {

inline constexpr char kException[] = "Exception occurred: plugin VHDX is corrupt\n";

// What the output of `vhdx-inspect -f <entry>` must be. "{path}" in any of
// the texts stands for the entry's path.
struct Expected {
  // The whole output, for a fault that the container stages or the open find
  // (their lines are fixed): the diagnostic line, then kException.
  std::string whole;
  // Otherwise the tool gets as far as the report: the output starts with the
  // "Parsing " line, and `diagnostic` is the line before kException, or empty
  // when the image is inspected to the end.
  std::string diagnostic;
  std::vector<std::string> contains;  // texts that appear, in this order
  std::vector<std::string> absent;    // texts that do not appear
  std::string tail;                   // the output ends with this (before kException)
  // Bytes that the partition tables of the image may take in memory, beside
  // the two working buffers (1 MiB and 2 MiB) of the reader.
  std::uint64_t partitionBuffers = 0x4400 + 0x4200;
  // What a directory scan prints for the entry when it is not an image file:
  // nothing for a directory, the "cannot be examined" line for a symlink loop.
  bool skippedByDirectoryScan = false;
  std::string directoryScanLine;

  bool Corrupt() const { return !whole.empty() || !diagnostic.empty(); }
  bool ReachesReport() const { return whole.empty(); }
};

struct Entry {
  std::string name;                                         // the file name in the corpus directory, "<what>.vhdx"
  std::function<void(const std::filesystem::path&)> write;  // creates the entry at the path
  Expected expected;
};

// Every entry of the corpus.
const std::vector<Entry>& Corpus();

// Writes every entry of the corpus into `directory` (which must exist). For
// the Windows program the entries that are POSIX-only kinds of file are left
// out (e2e::IsPosixOnlyFileType).
void WriteCorpus(const std::filesystem::path& directory);

// `text` with every "{path}" replaced by `path`.
std::string WithPath(std::string text, const std::string& path);

}  // namespace hostile
