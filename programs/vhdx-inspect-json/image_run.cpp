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

namespace {

struct MadeLine final : Made {
  std::string line;
};

}  // namespace

std::unique_ptr<Made> JsonLines::Make(const vhdx_inspect::Inspection& inspection) const {
  auto made = std::make_unique<MadeLine>();
  made->line = vhdx_inspect::views::json::JsonLine(inspection);
  return made;
}

void JsonLines::Put(Made& made) { WriteLine(static_cast<MadeLine&>(made).line, out_); }

std::unique_ptr<Made> MakeOf(const ImageOutput& output, const vhdx_inspect::Inspection& inspection) {
  std::unique_ptr<Made> made = output.Make(inspection);
  made->sound = inspection.verdict == vhdx_inspect::Verdict::kSound;
  return made;
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
  const std::unique_ptr<Made> made = MakeOf(output_, inspection);
  if (!made->sound) allSound_ = false;
  output_.Put(*made);
}

}  // namespace json_app
