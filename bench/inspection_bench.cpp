// One whole inspection of the sample image held in memory: the tool's own
// per-image sequence over an in-memory file (the container checks and report,
// the MBR, both GPTs and their verification), written to a stream that keeps
// nothing. Beside it, the parts whose cost does not depend on the output:
// the reader's construction, which makes its two working buffers, and the
// two container stages without any report.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <vector>

#include "app/inspect_plugin_vhdx.h"
#include "platform/memory_file.h"
#include "testsupport/plugin_image.h"
#include "vhdx/plugin_vhdx_reader.h"

namespace {

// Takes every character and every flush, and keeps nothing.
class DiscardingBuffer final : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

const std::vector<std::byte>& SampleImage() {
  static const std::vector<std::byte> bytes = testsupport::PluginImage::Build(testsupport::ImageDescription{}).bytes();
  return bytes;
}

platform::OpenResult OpenSample() { return {platform::MakeMemoryFile(SampleImage()), 0}; }

// What one inspection reads: 1 MiB, 2 MiB, the partition-table area and the trailer.
constexpr std::int64_t kBytesReadPerImage = (1 << 20) + (2 << 20) + 0x4400 + 0x4200;

void BM_InspectSampleImage(benchmark::State& state) {
  DiscardingBuffer discard;
  std::ostream out(&discard);
  app::InspectPluginVhdx("sample.vhdx", OpenSample(), out);  // leaves the stream as a run's first image does
  for (auto _ : state) app::InspectPluginVhdx("sample.vhdx", OpenSample(), out);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBytesReadPerImage);
}

void BM_ReaderConstruction(benchmark::State& state) {
  DiscardingBuffer discard;
  std::ostream out(&discard);
  for (auto _ : state) {
    vhdx::PluginVhdxReader reader("sample.vhdx", out, OpenSample());
    benchmark::DoNotOptimize(&reader);
  }
}

void BM_ContainerStages(benchmark::State& state) {
  DiscardingBuffer discard;
  std::ostream out(&discard);
  for (auto _ : state) {
    vhdx::PluginVhdxReader reader("sample.vhdx", out, OpenSample());
    benchmark::DoNotOptimize(reader.GetLogicalSectorSize());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * ((1 << 20) + (2 << 20)));
}

}  // namespace

BENCHMARK(BM_InspectSampleImage);
BENCHMARK(BM_ReaderConstruction);
BENCHMARK(BM_ContainerStages);
