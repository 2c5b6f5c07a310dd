#include "vhdx-inspect/scan_vhdx_directory.h"

#include <boost/filesystem.hpp>

#include "common/narrow_arguments.h"
#include "vhdx-inspect/inspect_plugin_vhdx.h"

namespace app {
namespace {

namespace fs = boost::filesystem;
using boost::system::error_code;

bool HasImageExtension(const fs::path& path) { return path.extension().string() == ".vhdx"; }

void InspectEntry(vhdx_inspect::Inspector& inspector, const fs::path& entry, std::ostream& out) {
  // Checked here, not left to how Boost converts the name: a name that has
  // no exact narrow form is never opened by a look-alike.
  const platform::NarrowName name = platform::NarrowFormOf(entry.native());
  if (!name.exact) {
    InspectPluginVhdx(inspector, name.text, platform::OpenResult{nullptr, platform::kInexactNameStatus}, out);
    return;
  }
  InspectPluginVhdx(inspector, entry.string(), out);
}

// One entry of the listing. An image whose status cannot be read is reported
// and skipped; any other such entry is skipped without a word.
void ScanEntry(vhdx_inspect::Inspector& inspector, const fs::path& entry, std::ostream& out) {
  error_code error;
  const fs::file_status status = fs::status(entry, error);
  if (error && status.type() != fs::file_not_found) {
    if (HasImageExtension(entry)) {
      out << entry.string() << " cannot be examined: " << error.message() << std::endl;
    }
    return;
  }
  if (fs::is_directory(status)) return;
  if (HasImageExtension(entry)) InspectEntry(inspector, entry, out);
}

void ReportUnreadableDirectory(const std::string& directoryPath, const error_code& error, std::ostream& out) {
  out << "VHDX directory " << directoryPath << " cannot be listed: " << error.message() << std::endl;
}

}  // namespace

void ReportMissingDirectory(const std::string& directoryPath, std::ostream& out) {
  out << "VHDX directory " << directoryPath << " does not exist." << std::endl;
}

void ScanVhdxDirectory(std::string directoryPath, std::ostream& out) {
  const fs::path directory(directoryPath);
  error_code error;
  const fs::file_status status = fs::status(directory, error);
  if (status.type() == fs::file_not_found) {
    ReportMissingDirectory(directoryPath, out);
    return;
  }
  if (error) {
    ReportUnreadableDirectory(directoryPath, error, out);
    return;
  }
  if (!fs::is_directory(status)) {
    out << directoryPath << " is not a directory." << std::endl;
    return;
  }

  // One inspector for the whole scan: its working buffers serve every image.
  vhdx_inspect::Inspector inspector;
  fs::directory_iterator it(directory, error);
  for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
    ScanEntry(inspector, it->path(), out);
  }
  if (error) ReportUnreadableDirectory(directoryPath, error, out);
}

}  // namespace app
