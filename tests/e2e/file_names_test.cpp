// File names beyond ASCII. The Linux program takes a name's bytes as given
// and prints them so; the Windows program takes its arguments in the ANSI
// code page (main's argv, CreateFileA), and a scan forms the names it lists
// in that code page too (platform_expectations.h: InProgramCodePage).
#include <gtest/gtest.h>

#include <string>

#include "expected_text.h"
#include "platform_expectations.h"
#include "run_tool.h"
#include "testsupport/plugin_image.h"

namespace e2e {
namespace {

using testsupport::PluginImage;

// "é" (U+00E9, UTF-8 C3 A9) is the byte E9 in code page 1252.
TEST(FileNames, NameWithALetterOfTheCodePage) {
  const std::string name = "caf\xC3\xA9.vhdx";
  if (WindowsProgramUnderTest()) {
    ASSERT_EQ(InProgramCodePage(name), "caf\xE9.vhdx");
  }
  ScratchDirectory scratch;
  const PluginImage image = PluginImage::Build(WithoutTrailer());
  image.WriteTo(scratch / name);

  const ToolRun alone = RunTool({"-f", scratch / name});
  EXPECT_EQ(alone.out, ContainerReport(ReportOf(image, InProgramCodePage(scratch / name))));
  EXPECT_EQ(alone.status, 0);
  EXPECT_EQ(alone.err, "");

  const ToolRun scan = RunTool({"-p", scratch.path().string()});
  EXPECT_EQ(scan.out, ContainerReport(ReportOf(image, InProgramCodePage(ScannedPath(scratch.path().string(), name)))));
  EXPECT_EQ(scan.status, 0);
}

}  // namespace
}  // namespace e2e
