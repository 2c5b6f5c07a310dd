#include "vhdx-inspect-json/image_run.h"

#include "common/platform/room_in_pipe.h"
#include "common/platform/run_control.h"
#include "views/json/json_report.h"

namespace json_app {

void WriteLine(const std::string& line, std::ostream& out) {
  ThrowIfInterrupted();
  // The report stream is standard output. A line is one write; one longer
  // than a pipe takes whole waits for room, so that an interrupt never
  // leaves part of it in the pipe.
  if (!vhdx_programs::WaitForRoomInStandardOutput(line.size() + 1)) throw RunInterrupted{};
  try {
    out << line << std::endl;
  } catch (...) {
    // A write that an interrupt cut short ends the run as interrupted.
    if (!out.bad() || !vhdx_programs::InterruptRequested()) throw;
    out.exceptions(std::ios::goodbit);
    throw RunInterrupted{};
  }
}

void WriteJsonLine(const vhdx_inspect::Inspection& inspection, std::ostream& out) {
  WriteLine(vhdx_inspect::views::json::JsonLine(inspection), out);
}

void ThrowIfInterrupted() {
  if (vhdx_programs::InterruptRequested()) throw RunInterrupted{};
}

void SequentialRun::Image(const ImageName& name) {
  ThrowIfInterrupted();
  const vhdx_inspect::Inspection inspection = InspectNamed(inspector_, name);
  // A read that the interrupt cut short would make a sound image look
  // damaged: its line is not written.
  ThrowIfInterrupted();
  if (inspection.verdict != vhdx_inspect::Verdict::kSound) allSound_ = false;
  WriteJsonLine(inspection, out_);
}

}  // namespace json_app
