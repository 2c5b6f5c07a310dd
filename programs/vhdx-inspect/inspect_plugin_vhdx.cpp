#include "vhdx-inspect/inspect_plugin_vhdx.h"

#include <utility>

#include "inspect/inspect_opened.h"
#include "report/text_report.h"

namespace app {

void InspectPluginVhdx(vhdx_inspect::Inspector& inspector, const std::string& imagePath, std::ostream& out) {
  // By the narrow name, as the system's arguments and listings give it.
  report::WriteTextReport(inspect::InspectNarrow(inspector, imagePath), out);
}

void InspectPluginVhdx(vhdx_inspect::Inspector& inspector, std::string imagePath, platform::OpenResult opened,
                       std::ostream& out) {
  report::WriteTextReport(
      inspect::InspectGuarded(imagePath,
                              [&] { return inspect::InspectOpened(inspector, imagePath, std::move(opened)); }),
      out);
}

}  // namespace app
