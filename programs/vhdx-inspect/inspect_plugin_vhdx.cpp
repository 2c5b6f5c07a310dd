#include "vhdx-inspect/inspect_plugin_vhdx.h"

#include "views/text/text_report.h"

namespace app {

void InspectPluginVhdx(vhdx_inspect::Inspector& inspector, const common::NamedPath& image, std::ostream& out) {
  vhdx_inspect::views::text::WriteTextReport(common::InspectNamed(inspector, image), out);
}

}  // namespace app
