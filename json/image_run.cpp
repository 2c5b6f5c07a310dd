#include "json/image_run.h"

#include "json/json_report.h"

namespace json_app {

void WriteJsonLine(const vhdx_inspect::Inspection& inspection, std::ostream& out) {
  out << json_report::JsonLine(inspection) << std::endl;
}

void SequentialRun::Image(const std::string& path) {
  const vhdx_inspect::Inspection inspection = inspector_.Inspect(path);
  if (inspection.verdict != vhdx_inspect::Verdict::kSound) allSound_ = false;
  WriteJsonLine(inspection, out_);
}

}  // namespace json_app
