#include "vhdx-inspect/directory_mode.h"

#include <string>

#include "common/folder_walk.h"
#include "vhdx-inspect/inspect_plugin_vhdx.h"

namespace app {
namespace {

// The text report's lines for what the walk finds.
class TextReportSink final : public vhdx_programs::WalkSink {
 public:
  explicit TextReportSink(std::ostream& out) : out_(out) {}

  void Image(const vhdx_programs::NamedPath& image) override { InspectPluginVhdx(inspector_, image, out_); }

  void EntryNotExamined(const std::string& entry, const vhdx_programs::SystemCause& cause) override {
    out_ << entry << " cannot be examined: " << cause.text << std::endl;
  }

  void FolderMissing(const std::string& folder) override {
    out_ << "VHDX directory " << folder << " does not exist." << std::endl;
  }

  void NotAFolder(const std::string& folder) override { out_ << folder << " is not a directory." << std::endl; }

  void FolderNotListed(const std::string& folder, const vhdx_programs::SystemCause& cause) override {
    out_ << "VHDX directory " << folder << " cannot be listed: " << cause.text << std::endl;
  }

 private:
  std::ostream& out_;
  // One inspector for the whole scan: its working buffers serve every image.
  // Whole regions, as the text program reads: one 1 MiB and one 2 MiB read an image.
  vhdx_inspect::Inspector inspector_{vhdx_inspect::ReadPolicy::kWholeRegions};
};

}  // namespace

void ScanVhdxDirectory(const vhdx_programs::NamedPath& folder, std::ostream& out) {
  TextReportSink sink(out);
  vhdx_programs::WalkFolder(folder, vhdx_programs::WalkRule{vhdx_programs::ImageExtension::kExact, false}, sink);
}

}  // namespace app
