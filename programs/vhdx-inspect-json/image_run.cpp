#include "vhdx-inspect-json/image_run.h"

#include "common/run_control.h"
#include "vhdx-inspect-json/json_report.h"

namespace json_app {

void WriteJsonLine(const vhdx_inspect::Inspection& inspection, std::ostream& out) {
  out << json_report::JsonLine(inspection) << std::endl;
}

void ThrowIfInterrupted() {
  if (platform::InterruptRequested()) throw RunInterrupted{};
}

void SequentialRun::Image(const ImageName& name) {
  ThrowIfInterrupted();
  const vhdx_inspect::Inspection inspection = InspectNamed(inspector_, name);
  if (inspection.verdict != vhdx_inspect::Verdict::kSound) allSound_ = false;
  WriteJsonLine(inspection, out_);
}

}  // namespace json_app
