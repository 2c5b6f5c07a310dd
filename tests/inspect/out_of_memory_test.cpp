// No exception leaves the library, not even when memory runs out while the
// records are built: each allocation in turn is made to fail, and every
// inspection still returns, either whole or ended by inspection.out_of_memory
// (unreadable, with the system's status), and the text view's line for it
// names the partition tables' buffer where that was the one refused.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>

#include "platform/file.h"
#include "support/plugin_image.h"
#include "vhdx_inspect/inspect.h"
#include "views/text/messages.h"

namespace {

// The allocation that fails: counted down by every operator new of this
// program while it is above zero; 0 fails none.
long failAt = 0;

void* Allocate(std::size_t size) {
  if (failAt > 0 && --failAt == 0) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

TEST(InspectionOutOfMemory, EveryFailedAllocationEndsTheInspectionCleanly) {
  const testsupport::PluginImage image = testsupport::PluginImage::Build(testsupport::ImageDescription{});
  vhdx_inspect::Inspector inspector;
  bool sawWhole = false;
  for (long at = 1; at < 200 && !sawWhole; ++at) {
    SCOPED_TRACE(at);
    failAt = at;
    vhdx_inspect::Inspection result;
    try {
      result = inspector.Inspect(image.bytes(), "image.vhdx");
    } catch (...) {
      failAt = 0;
      FAIL() << "an exception left the library";
    }
    const bool failed = failAt == 0;  // the countdown reached the failing allocation
    failAt = 0;
    if (!failed) {
      EXPECT_EQ(result.verdict, vhdx_inspect::Verdict::kSound);
      sawWhole = true;
      continue;
    }
    if (!result.failure) continue;  // the failing allocation was made outside the inspection's records
    // Whatever stage it hits, refused memory is one check with one verdict.
    EXPECT_EQ(std::string(vhdx_inspect::CheckName(result.failure->check)), "inspection.out_of_memory");
    EXPECT_EQ(result.verdict, vhdx_inspect::Verdict::kUnreadable);
    EXPECT_EQ(result.failure->system_status, vhdx_inspect::detail::platform::kOutOfMemoryStatus);
    const std::string line = vhdx_inspect::views::text::FailureMessage(result);
    if (result.partition_area && !result.mbr) {
      // The partition tables' buffers: the area (0x4400 bytes) or the trailer
      // (0x4200), named by the text program's line after the size lines.
      EXPECT_TRUE(result.failure->found == 0x4400 || result.failure->found == 0x4200);
      EXPECT_TRUE(line == "Cannot allocate 0x4400 bytes for the partition tables." ||
                  line == "Cannot allocate 0x4200 bytes for the partition tables.")
          << line;
      continue;
    }
    EXPECT_EQ(line, "Cannot allocate memory for the inspection.");
    EXPECT_FALSE(result.header.has_value());
  }
  EXPECT_TRUE(sawWhole) << "an inspection with no failing allocation";
}

}  // namespace
