// Inspectors in several threads at once, each with its own, give the results
// of one thread: the library keeps no state outside the objects its callers
// own. CI also runs this under ThreadSanitizer (make test-tsan).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/plugin_image.h"
#include "vhdx_inspect/inspect.h"

namespace inspect_test {
namespace {

using testsupport::ImageDescription;
using testsupport::PluginImage;

// Sound, damaged in the container, damaged in the GPT, and not a plugin VHDX.
std::vector<PluginImage> Corpus() {
  std::vector<PluginImage> images;
  images.push_back(PluginImage::Build(ImageDescription{}));
  ImageDescription large;
  large.logicalSectorSize = 4096;
  large.nVirtualDiskSize = 12345;
  images.push_back(PluginImage::Build(large));
  PluginImage badHeader = PluginImage::Build(ImageDescription{});
  badHeader.Put8(badHeader.layout().header(2) + 4095, 0x01);
  images.push_back(std::move(badHeader));
  PluginImage badGpt = PluginImage::Build(ImageDescription{});
  badGpt.Put8(badGpt.layout().backupGptHeader + 48, 0x01);
  images.push_back(std::move(badGpt));
  ImageDescription other;
  other.creator = u"Someone Else";
  images.push_back(PluginImage::Build(other));
  return images;
}

// What a result comes to, as one comparable text.
std::string Summary(const vhdx_inspect::Inspection& result) {
  std::string text = vhdx_inspect::VerdictName(result.verdict);
  if (result.failure)
    text += std::string(" ") + vhdx_inspect::CheckName(result.failure->check) + ": " + result.failure->description;
  for (const auto& finding : result.gpt_findings) text += " | " + finding.description;
  for (const auto& warning : result.warnings) text += " | " + warning.description;
  if (result.primary_gpt) text += " entries " + std::to_string(result.primary_gpt->entries.size());
  text += " volumes " + std::to_string(result.volumes.size());
  return text;
}

TEST(InspectorsInThreads, GiveTheResultsOfOneThread) {
  const std::vector<PluginImage> corpus = Corpus();
  std::vector<std::string> expected;
  vhdx_inspect::Inspector alone;
  for (const PluginImage& image : corpus) expected.push_back(Summary(alone.Inspect(image.bytes(), "image.vhdx")));

  constexpr int kThreads = 4;
  constexpr int kRounds = 5;
  std::vector<std::vector<std::string>> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      vhdx_inspect::Inspector inspector;
      for (int round = 0; round < kRounds; ++round) {
        for (const PluginImage& image : corpus)
          seen[t].push_back(Summary(inspector.Inspect(image.bytes(), "image.vhdx")));
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) {
    for (std::size_t i = 0; i < seen[t].size(); ++i) EXPECT_EQ(seen[t][i], expected[i % corpus.size()]) << t;
  }
}

}  // namespace
}  // namespace inspect_test
