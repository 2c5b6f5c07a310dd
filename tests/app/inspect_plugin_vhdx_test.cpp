// The whole output of one inspection when a read of the image fails: the
// reader's line, or the report as far as the reader got, and then the
// sequence's own "Exception occurred: " line and nothing else.
#include "app/inspect_plugin_vhdx.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>

#include "faulty_file.h"
#include "sample_header_block.h"
#include "testsupport/plugin_image.h"

namespace {

using vhdx_test::OpenFaultyFile;
using vhdx_test::ReadFault;
using vhdx_test::ReadLog;

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
      // Stage 2 stays incomplete without a line: the report runs it once
      // more, prints the header block of the sample image and stops.
      {"stage 2 read", at.metadataRegion,
       std::string("Parsing image.vhdx\n\n") + vhdx_test::kSampleHeaderBlock +
           "Exception occurred: plugin VHDX is corrupt\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReadLog reads;
    std::ostringstream out;
    app::InspectPluginVhdx("image.vhdx", OpenFaultyFile(image.bytes(), reads, ReadFault{c.position, 5}), out);
    EXPECT_EQ(out.str(), c.output);
  }
}

}  // namespace
