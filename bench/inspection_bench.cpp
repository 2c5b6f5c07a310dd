// One whole inspection of the sample image held in memory, as a value
// (the container checks, the MBR, both GPTs and their verification), and
// the same with its text report written to a stream that keeps nothing; the
// difference is the cost of the text view.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <streambuf>
#include <vector>

#include "support/plugin_image.h"
#include "vhdx_inspect/inspect.h"
#include "views/text/text_report.h"

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

// What one inspection reads: 1 MiB, 2 MiB, the partition-table area and the trailer.
constexpr std::int64_t kBytesReadPerImage = (1 << 20) + (2 << 20) + 0x4400 + 0x4200;

void BM_InspectSampleImage(benchmark::State& state) {
  vhdx_inspect::Inspector inspector;
  for (auto _ : state) benchmark::DoNotOptimize(inspector.Inspect(SampleImage(), "sample.vhdx"));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBytesReadPerImage);
}

void BM_InspectAndReportSampleImage(benchmark::State& state) {
  vhdx_inspect::Inspector inspector;
  DiscardingBuffer discard;
  std::ostream out(&discard);
  vhdx_inspect::views::text::WriteTextReport(inspector.Inspect(SampleImage(), "sample.vhdx"),
                                             out);  // leaves the stream as a run's first image does
  for (auto _ : state) vhdx_inspect::views::text::WriteTextReport(inspector.Inspect(SampleImage(), "sample.vhdx"), out);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBytesReadPerImage);
}

void BM_InspectorConstruction(benchmark::State& state) {
  for (auto _ : state) {
    vhdx_inspect::Inspector inspector;
    benchmark::DoNotOptimize(&inspector);
  }
}

}  // namespace

BENCHMARK(BM_InspectSampleImage);
BENCHMARK(BM_InspectAndReportSampleImage);
BENCHMARK(BM_InspectorConstruction);
