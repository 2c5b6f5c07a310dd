// How many images vhdx-inspect-json lets in at once next, from the share of
// the cores the process kept busy: mostly idle cores mean the images wait on
// storage, so twice as many are let in, up to N; nearly all busy means they
// contend for the cores, so half as many, down to the cores; in between the
// number stays. It never goes above N, nor below the cores (or N, when there
// are more cores than N).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "vhdx-inspect-json/parallel_run.h"

namespace json_test {
namespace {

using json_app::NextLimit;

TEST(NextLimit, MoreWhenIdleFewerWhenBusyWithinTheCoresAndN) {
  struct Case {
    double busy;
    std::size_t limit;
    std::size_t cores;
    std::size_t most;  // N
    std::size_t next;
  };
  const Case cases[] = {
      // Idle cores (below 0.3): twice as many, up to N.
      {0.0, 2, 2, 8, 4},
      {0.1, 4, 2, 8, 8},
      {0.29, 3, 2, 8, 6},
      {0.1, 6, 2, 8, 8},
      {0.1, 5, 2, 8, 8},
      {0.1, 8, 2, 8, 8},
      {0.1, 1, 1, 64, 2},
      // Busy cores (above 0.9): half as many, down to the cores.
      {1.0, 8, 2, 8, 4},
      {0.95, 4, 2, 8, 2},
      {0.91, 3, 2, 8, 2},
      {0.95, 6, 4, 8, 4},
      {0.95, 2, 2, 8, 2},
      {2.0, 64, 2, 64, 32},
      // In between, and at either bound: the same.
      {0.3, 4, 2, 8, 4},
      {0.5, 4, 2, 8, 4},
      {0.9, 4, 2, 8, 4},
      {0.6, 8, 2, 8, 8},
      {0.6, 2, 2, 8, 2},
      // More cores than N: the limit starts at N and stays there.
      {0.95, 4, 8, 4, 4},
      {0.1, 4, 8, 4, 4},
      {0.5, 4, 8, 4, 4},
      // -j 1: one at a time whatever the load.
      {0.0, 1, 2, 1, 1},
      {1.0, 1, 2, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("busy " + std::to_string(c.busy) + ", limit " + std::to_string(c.limit) + ", cores " +
                 std::to_string(c.cores) + ", N " + std::to_string(c.most));
    EXPECT_EQ(NextLimit(c.busy, c.limit, c.cores, c.most), c.next);
  }
}

// From where it starts, min(cores, N), no run of windows, however busy or
// idle, takes the limit above N or below min(cores, N).
TEST(NextLimit, StaysWithinTheCoresAndNOverAnyRunOfWindows) {
  const double loads[] = {0.0, 0.95, 0.1, 0.1, 0.1, 1.0, 0.5, 0.0, 0.0, 0.0, 0.0, 0.0, 1.0, 1.0, 1.0, 1.0, 1.0, 0.2};
  for (const std::size_t cores : {1, 2, 3, 4, 16}) {
    for (const std::size_t most : {1, 2, 3, 5, 8, 64}) {
      const std::size_t floor = std::min(cores, most);
      std::size_t limit = floor;
      for (const double busy : loads) {
        limit = NextLimit(busy, limit, cores, most);
        ASSERT_GE(limit, floor) << "cores " << cores << ", N " << most << ", busy " << busy;
        ASSERT_LE(limit, most) << "cores " << cores << ", N " << most << ", busy " << busy;
      }
      // Enough idle windows reach N, enough busy ones come back to the floor.
      for (int i = 0; i < 8; ++i) limit = NextLimit(0.0, limit, cores, most);
      EXPECT_EQ(limit, most);
      for (int i = 0; i < 8; ++i) limit = NextLimit(1.0, limit, cores, most);
      EXPECT_EQ(limit, floor);
    }
  }
}

}  // namespace
}  // namespace json_test
