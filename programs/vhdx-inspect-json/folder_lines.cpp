#include "vhdx-inspect-json/folder_lines.h"

#include <string>

#include "common/folder_walk.h"

namespace json_app {
namespace {

class JsonFolderSink final : public vhdx_programs::WalkSink {
 public:
  JsonFolderSink(ImageRun& run, std::ostream& err, std::string_view program)
      : run_(run), err_(err), program_(program) {}

  bool complete() const { return complete_; }

  void BeforeEntry() override { ThrowIfInterrupted(); }

  void Image(const vhdx_programs::NamedPath& image) override { run_.Image(image); }

  void EntryNotExamined(const std::string& entry, const vhdx_programs::SystemCause& cause) override {
    Problem() << entry << " cannot be examined: " << cause.text << std::endl;
  }

  void FolderMissing(const std::string& folder) override {
    Problem() << "VHDX directory " << folder << " does not exist." << std::endl;
  }

  void NotAFolder(const std::string& folder) override { Problem() << folder << " is not a directory." << std::endl; }

  void FolderNotListed(const std::string& folder, const vhdx_programs::SystemCause& cause) override {
    Problem() << "VHDX directory " << folder << " cannot be listed: " << cause.text << std::endl;
  }

 private:
  // The start of a line on standard error; the scan is then incomplete.
  std::ostream& Problem() {
    complete_ = false;
    return err_ << program_ << ": ";
  }

  ImageRun& run_;
  std::ostream& err_;
  std::string_view program_;
  bool complete_ = true;
};

}  // namespace

bool ScanFolder(const vhdx_programs::NamedPath& folder, bool recursive, ImageRun& run, std::ostream& err,
                std::string_view program) {
  JsonFolderSink sink(run, err, program);
  vhdx_programs::WalkFolder(folder, vhdx_programs::WalkRule{vhdx_programs::ImageExtension::kAnyCase, recursive}, sink);
  return sink.complete();
}

}  // namespace json_app
