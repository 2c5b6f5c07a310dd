#include "vhdx-inspect/inspect_plugin_vhdx.h"

#include "views/text/text_report.h"

namespace app {

void InspectPluginVhdx(vhdx_inspect::Inspector& inspector, const vhdx_programs::NamedPath& image, std::ostream& out) {
  vhdx_inspect::views::text::WriteTextReport(vhdx_programs::InspectNamed(inspector, image), out);
}

}  // namespace app
