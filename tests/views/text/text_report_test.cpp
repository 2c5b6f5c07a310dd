// The whole text report of one inspection when a read of the image fails:
// the failure's line, or the report as far as the inspection got, and then
// the "Exception occurred: " line and nothing else; and the failure's
// status in the base that earlier output left in force.
#include "views/text/text_report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "inspect/inspect_opened.h"
#include "sample_header_block.h"
#include "support/faulty_file.h"
#include "support/plugin_image.h"

namespace {

using testsupport::OpenFaultyFile;
using testsupport::ReadFault;
using testsupport::ReadLog;

TEST(InspectionWithAFailingRead, EndsWithTheExceptionLine) {
  const testsupport::PluginImage image = testsupport::PluginImage::Build(testsupport::ImageDescription{});
  const testsupport::Layout& at = image.layout();
  struct Case {
    const char* what;
    std::uint64_t position;  // of the read that fails
    std::string output;
  };
  const Case cases[] = {
      {"stage 1 read", 0,
       "ReadFile failed with status 5 for file: image.vhdx\n"
       "Exception occurred: plugin VHDX is corrupt\n"},
      // Stage 2 stays incomplete without a line: the report prints the
      // header block of the sample image and stops.
      {"stage 2 read", at.metadataRegion,
       std::string("Parsing image.vhdx\n\n") + testsupport::kSampleHeaderBlock +
           "Exception occurred: plugin VHDX is corrupt\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReadLog reads;
    std::ostringstream out;
    vhdx_inspect::Inspector inspector;
    vhdx_inspect::views::text::WriteTextReport(
        vhdx_inspect::detail::inspect::InspectOpened(inspector, "image.vhdx",
                                                     OpenFaultyFile(image.bytes(), reads, ReadFault{c.position, 5})),
        out);
    EXPECT_EQ(out.str(), c.output);
  }
}

// Numbers in a failure's line have no base of their own: after an image
// that printed its partition tables, the status is hexadecimal with the prefix.
TEST(TextReportFailureLine, StatusIsWrittenInTheBaseThatEarlierOutputLeft) {
  std::ostringstream out;
  out << std::hex << std::showbase;
  vhdx_inspect::Inspector inspector;
  vhdx_inspect::views::text::WriteTextReport(inspector.Inspect(std::span<const std::byte>(), "empty.vhdx"), out);
  EXPECT_EQ(out.str(),
            "Attemped to read 0x100000 bytes, but 0 were read.\n"
            "Exception occurred: plugin VHDX is corrupt\n");
}

}  // namespace
