// The two checksums against their byte-at-a-time references.
//
// CRC-32C covers a 4 KiB header and a 64 KiB region table; the slicing-by-8
// routine is measured against the one-table routine over the same buffer in
// the same run, so that their ratio does not depend on the machine's mood.
// The GPT's CRC-32 is byte-wise by design: it is measured on its own, over a
// 16 KiB partition entry array and a 92-byte header.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "partition/crc32.h"
#include "vhdx/crc32c.h"

namespace {

// `size` bytes that are not all alike. A vector's storage starts on a 4-byte
// boundary, as the reader's buffers do.
std::vector<std::byte> Bytes(std::size_t size) {
  std::vector<std::byte> bytes(size);
  std::uint32_t x = 0x12345678;
  for (std::byte& b : bytes) {
    x = x * 1103515245 + 12345;
    b = static_cast<std::byte>(x >> 24);
  }
  return bytes;
}

void BM_Crc32cSlicingBy8(benchmark::State& state) {
  const std::vector<std::byte> data = Bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        vhdx_inspect::detail::vhdx::crc32c(0xFFFFFFFF, data.data(), static_cast<std::uint32_t>(data.size())));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc32cByteAtATime(benchmark::State& state) {
  const std::vector<std::byte> data = Bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(vhdx_inspect::detail::vhdx::Crc32cByteAtATime(0xFFFFFFFF, data.data(),
                                                                           static_cast<std::uint32_t>(data.size())));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_Crc32ByteWise(benchmark::State& state) {
  const std::vector<std::byte> data = Bytes(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(vhdx_inspect::detail::partition::Crc32(std::span<const std::byte>(data)));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_Crc32cSlicingBy8)->Arg(4096)->Arg(65536);
BENCHMARK(BM_Crc32cByteAtATime)->Arg(4096)->Arg(65536);
BENCHMARK(BM_Crc32ByteWise)->Arg(92)->Arg(16384);
