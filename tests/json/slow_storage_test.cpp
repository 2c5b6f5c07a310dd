// Parallel scans of a folder on slow storage (slow_mount.h): the lines come
// out in listing order even when the first image is much the slowest, and
// every number of jobs writes what one job writes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "e2e/platform_expectations.h"
#include "json_run.h"
#include "slow_mount.h"
#include "support/plugin_image.h"
#include "support/scratch_directory.h"

namespace json_test {
namespace {

namespace fs = std::filesystem;
using testsupport::ImageDescription;
using testsupport::PluginImage;
using testsupport::ProgramRun;
using testsupport::ScratchDirectory;

// The first image a recursive scan of `folder` (given as `given`) meets: its
// file name and the path the program names it by; empty when there is none.
std::pair<std::string, std::string> FirstImage(const fs::path& folder, const std::string& given) {
  for (const std::string& name : e2e::NamesInListingOrder(folder)) {
    if (fs::is_directory(folder / name)) {
      auto below = FirstImage(folder / name, e2e::ScannedPath(given, name));
      if (!below.first.empty()) return below;
    } else if (name.size() > 5 && name.substr(name.size() - 5) == ".vhdx") {
      return {name, e2e::ScannedPath(given, name)};
    }
  }
  return {};
}

TEST(JsonSlowStorage, LinesKeepListingOrderWhenTheFirstImageIsTheSlowest) {
  if (const auto reason = SlowMount::Unavailable()) GTEST_SKIP() << *reason;
  ScratchDirectory scratch;
  // The images lie in a folder below the mount point: wine takes the root of
  // a mount for something other than a folder.
  const fs::path source = scratch.path() / "source";
  const fs::path tree = source / "tree";
  fs::create_directories(tree / "below");
  fs::create_directories(scratch.path() / "mount");
  ImageDescription damaged;
  damaged.signature = "vhdxfilz";
  for (int i = 0; i < 8; ++i) {
    PluginImage::Build(i % 3 == 1 ? damaged : ImageDescription{})
        .WriteTo((tree / (i < 6 ? "" : "below") / ("image-" + std::to_string(i) + ".vhdx")).string());
  }
  // The first image of the scan waits 150 ms more on every open and read.
  const std::string scanned = (scratch.path() / "mount" / "tree").string();
  const auto [first, firstPath] = FirstImage(tree, scanned);
  ASSERT_FALSE(first.empty());
  const SlowMount mount(source, scratch.path() / "mount", 1000, first, 150000);

  const ProgramRun sequential = RunJson({"-p", scanned, "-r", "-j", "1"});
  const std::vector<nlohmann::json> lines = JsonLines(sequential.out);
  ASSERT_EQ(lines.size(), 8u) << sequential.err;
  EXPECT_EQ(lines.front()["path"], firstPath);
  EXPECT_EQ(sequential.status, kImageNotSound);
  for (const char* jobs : {"2", "4", "8", ""}) {
    std::vector<std::string> arguments = {"-p", scanned, "-r"};
    if (*jobs) arguments.insert(arguments.end(), {"-j", jobs});
    const ProgramRun run = RunJson(arguments);
    EXPECT_EQ(run.out, sequential.out) << "-j " << jobs;
    EXPECT_EQ(run.status, sequential.status) << "-j " << jobs;
    EXPECT_EQ(run.err, "") << "-j " << jobs;
  }
}

}  // namespace
}  // namespace json_test
