#include "vhdx-inspect/inspect_plugin_vhdx.h"

#include "report/text_report.h"

namespace app {

void InspectPluginVhdx(vhdx_inspect::Inspector& inspector, const common::NamedPath& image, std::ostream& out) {
  report::WriteTextReport(common::InspectNamed(inspector, image), out);
}

}  // namespace app
