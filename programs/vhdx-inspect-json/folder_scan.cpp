#include "vhdx-inspect-json/folder_scan.h"

#include <boost/filesystem.hpp>

#include "common/narrow_arguments.h"

namespace json_app {
namespace {

namespace fs = boost::filesystem;
using boost::system::error_code;

constexpr char kProgram[] = "vhdx-inspect-json: ";

bool HasImageExtension(const fs::path& path) { return path.extension().string() == ".vhdx"; }

class FolderScan {
 public:
  FolderScan(bool recursive, ImageRun& run, std::ostream& err) : recursive_(recursive), run_(run), err_(err) {}

  // Scans a folder that was found to be one.
  void Listing(const fs::path& folder) {
    error_code error;
    fs::directory_iterator it(folder, error);
    for (const fs::directory_iterator end; !error && it != end; it.increment(error)) Entry(it->path());
    if (error) Unlistable(folder.string(), error);
  }

  void Unlistable(const std::string& folder, const error_code& error) {
    err_ << kProgram << "VHDX directory " << folder << " cannot be listed: " << error.message() << std::endl;
    complete_ = false;
  }

  bool complete() const { return complete_; }

 private:
  void Entry(const fs::path& entry) {
    error_code error;
    if (recursive_) {
      // The entry itself, not what a link names: links to folders stay unfollowed.
      const fs::file_status own = fs::symlink_status(entry, error);
      if (!error && fs::is_directory(own)) {
        Listing(entry);
        return;
      }
    }
    const fs::file_status status = fs::status(entry, error);
    if (error && status.type() != fs::file_not_found) {
      if (HasImageExtension(entry)) {
        err_ << kProgram << entry.string() << " cannot be examined: " << error.message() << std::endl;
        complete_ = false;
      }
      return;
    }
    if (fs::is_directory(status)) return;
    if (!HasImageExtension(entry)) return;
    // Checked here, not left to how Boost converts the name: a name that
    // has no exact narrow form is never opened by a look-alike.
    const platform::NarrowName name = platform::NarrowFormOf(entry.native());
    run_.Image(name.exact ? ImageName{entry.string(), true} : ImageName{name.text, false});
  }

  const bool recursive_;
  ImageRun& run_;
  std::ostream& err_;
  bool complete_ = true;
};

}  // namespace

bool ScanFolder(const std::string& folder, bool recursive, ImageRun& run, std::ostream& err) {
  const fs::path directory(folder);
  FolderScan scan(recursive, run, err);
  error_code error;
  const fs::file_status status = fs::status(directory, error);
  if (status.type() == fs::file_not_found) {
    err << kProgram << "VHDX directory " << folder << " does not exist." << std::endl;
    return false;
  }
  if (error) {
    scan.Unlistable(folder, error);
    return false;
  }
  if (!fs::is_directory(status)) {
    err << kProgram << folder << " is not a directory." << std::endl;
    return false;
  }
  scan.Listing(directory);
  run.Finish();
  return scan.complete();
}

}  // namespace json_app
