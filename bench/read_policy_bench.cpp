// read_policy_bench POLICY JOBS FOLDER: inspects every .vhdx file of FOLDER
// with the library, JOBS at a time, under POLICY ("examined", "whole", or
// "checked": examined extents with the structure pass, as vhdx-inspect-json),
// and prints the images inspected, the sound ones, and the bytes and read
// calls per image that the process made (from /proc/self/io). bench/run.sh
// times it through the slow mount, one policy beside the other. Not installed.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "vhdx_inspect/inspect.h"

namespace {

// rchar and syscr of /proc/self/io; zeros where it cannot be read.
std::pair<std::uint64_t, std::uint64_t> ReadCounters() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  std::uint64_t bytes = 0;
  std::uint64_t calls = 0;
  while (io >> key >> value) {
    if (key == "rchar:") bytes = value;
    if (key == "syscr:") calls = value;
  }
  return {bytes, calls};
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4 || (std::strcmp(argv[1], "examined") != 0 && std::strcmp(argv[1], "whole") != 0 &&
                    std::strcmp(argv[1], "checked") != 0)) {
    std::fprintf(stderr, "usage: read_policy_bench examined|whole|checked JOBS FOLDER\n");
    return 2;
  }
  const auto policy = std::strcmp(argv[1], "whole") == 0 ? vhdx_inspect::ReadPolicy::kWholeRegions
                                                         : vhdx_inspect::ReadPolicy::kExaminedExtents;
  const auto structure =
      std::strcmp(argv[1], "checked") == 0 ? vhdx_inspect::Structure::kChecked : vhdx_inspect::Structure::kUnchecked;
  const unsigned jobs = std::max(1U, static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10)));
  std::vector<std::string> images;
  for (const auto& entry : std::filesystem::directory_iterator(argv[3])) {
    if (entry.path().extension() == ".vhdx") images.push_back(entry.path().string());
  }
  std::sort(images.begin(), images.end());

  // Reading the counters is itself a read of /proc/self/io (its bytes and
  // two or three calls): what one reading costs is taken off.
  const auto first = ReadCounters();
  const auto before = ReadCounters();
  const std::uint64_t ownBytes = before.first - first.first;
  const std::uint64_t ownCalls = before.second - first.second;
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> sound{0};
  const auto work = [&] {
    vhdx_inspect::Inspector inspector(policy, structure);
    for (std::size_t i = next++; i < images.size(); i = next++) {
      if (inspector.Inspect(images[i]).verdict == vhdx_inspect::Verdict::kSound) ++sound;
    }
  };
  // One job in this thread, as vhdx-inspect-json -j 1 runs: a process with
  // one thread makes its system calls without the cancellation points'
  // bookkeeping, which costs about 30 instructions a read.
  std::vector<std::thread> workers;
  if (jobs == 1) {
    work();
  } else {
    for (unsigned j = 0; j < jobs; ++j) workers.emplace_back(work);
  }
  for (std::thread& worker : workers) worker.join();
  const auto after = ReadCounters();
  const double n = images.empty() ? 1.0 : static_cast<double>(images.size());
  std::printf("images %zu sound %zu bytes_per_image %.0f reads_per_image %.2f\n", images.size(), sound.load(),
              static_cast<double>(after.first - before.first - ownBytes) / n,
              static_cast<double>(after.second - before.second - ownCalls) / n);
  return sound.load() == images.size() ? 0 : 1;
}
