// The plain sentence that every failure, finding and warning carries: the
// same facts give the same words whatever else the image holds (the text
// program's line, in contrast, takes the base its stream has reached), and a
// status is named with the system's own text.
#include <gtest/gtest.h>

#include <string>

#include "inspect/inspect_opened.h"
#include "platform/file.h"
#include "support/plugin_image.h"
#include "vhdx_inspect/inspect.h"
#include "views/text/messages.h"

namespace inspect_test {
namespace {

using namespace testsupport;
using vhdx_inspect::Check;
using vhdx_inspect::Inspection;

Inspection InspectWithShortVolume(bool virtualSizeWarning) {
  ImageDescription d;
  if (virtualSizeWarning) d.nVirtualDiskSize = 0x1000;
  PluginImage image = PluginImage::Build(d);
  image.PutInVolume(0, volume_field::kMySize, 511);
  vhdx_inspect::Inspector inspector;
  return inspector.Inspect(image.bytes(), "image.vhdx");
}

TEST(Description, DoesNotChangeWithAnUnrelatedWarning) {
  const Inspection alone = InspectWithShortVolume(false);
  const Inspection warned = InspectWithShortVolume(true);
  ASSERT_TRUE(alone.failure && warned.failure);
  ASSERT_EQ(alone.failure->check, Check::kVolumeSize);
  ASSERT_EQ(warned.warnings.size(), 1u);
  const std::string sentence =
      "A volume record gives its size as 511 bytes, but its entry in the plugin item gives 512 bytes.";
  EXPECT_EQ(alone.failure->description, sentence);
  EXPECT_EQ(warned.failure->description, sentence);
  // The text program's lines: decimal alone, hexadecimal after the warning.
  EXPECT_EQ(vhdx_inspect::views::text::FailureMessage(alone),
            "pTwbMetaData->MySize is: 511 entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 512");
  EXPECT_EQ(vhdx_inspect::views::text::FailureMessage(warned),
            "pTwbMetaData->MySize is: 1ff entry_PLUGIN_VHDX_METADATA->MetaData[ i ].cbSize is 200");
  EXPECT_EQ(warned.warnings[0].description,
            "The virtual disk is 1073741824 bytes by the VHDX metadata but 4096 bytes by the plugin item.");
}

TEST(Description, NamesTheStatusWithTheSystemsOwnText) {
  vhdx_inspect::Inspector inspector;
  const vhdx_inspect::detail::platform::ErrorCode status = vhdx_inspect::detail::platform::kInvalidPositionStatus;
  const Inspection result = vhdx_inspect::detail::inspect::InspectOpened(
      inspector, "x.vhdx", vhdx_inspect::detail::platform::OpenResult{nullptr, status});
  ASSERT_TRUE(result.failure);
  const std::string text = vhdx_inspect::detail::platform::SystemErrorText(status);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '.');
  EXPECT_EQ(result.failure->description,
            "The image cannot be opened: " + text + " (system status " + std::to_string(status) + ").");
}

TEST(Description, AFindingNamesBothHeadersValuesInDecimal) {
  PluginImage image = PluginImage::Build(ImageDescription{});
  image.PutInGptHeader(GptCopy::kBackup, gpt_header_field::kAlternateLba, 0x1000);
  vhdx_inspect::Inspector inspector;
  const Inspection result = inspector.Inspect(image.bytes(), "image.vhdx");
  ASSERT_EQ(result.gpt_findings.size(), 1u);
  EXPECT_EQ(result.gpt_findings[0].check, Check::kGptMyLba);
  EXPECT_EQ(result.gpt_findings[0].description,
            "The primary GPT header's own LBA (1) differs from the backup header's alternate LBA (4096).");
  EXPECT_EQ(vhdx_inspect::views::text::FindingMessage(result.gpt_findings[0]), "pEfiHeader->MyLBA is invalid.");
}

}  // namespace
}  // namespace inspect_test
