// The two programs as the tables of this suite see them: each run with the
// same arguments, and what each writes for the same things found. The text
// program writes every report and every line about what it cannot scan on
// standard output and ends with status 0; vhdx-inspect-json writes one JSON
// object per image on standard output, a line on standard error for what it
// cannot scan, and a status that says what it found.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/program_run.h"

namespace both_programs {

struct Program {
  const char* name;  // as it names itself in its lines on standard error
  bool json;
  testsupport::ProgramRun Run(const std::vector<std::string>& arguments,
                              const testsupport::RunLimits& limits = {}) const;
};

// vhdx-inspect, then vhdx-inspect-json.
const std::vector<Program>& BothPrograms();

// One thing a run reports: an image (under `path`, with the text program's
// whole report of it as `text` and the JSON verdict), or a line about what
// could not be scanned (`text` without its line end or any program name;
// `verdict` empty).
struct Reported {
  std::string path;
  std::string text;
  std::string verdict;
};

inline Reported Image(std::string path, std::string text, std::string verdict = "sound") {
  return {std::move(path), std::move(text), std::move(verdict)};
}
inline Reported Problem(std::string line) { return {"", std::move(line), ""}; }

// Checks `run` of `program` against what it must report, in this order. The
// text program: each image's report and each problem's line on standard
// output, nothing on standard error, status 0. vhdx-inspect-json: each
// image's object in order (its path as JSON shows it, its verdict), each
// problem's line on standard error after "vhdx-inspect-json: ", status 3
// with a problem, else 4 with an image that is not sound, else 0.
void ExpectReported(const Program& program, const testsupport::ProgramRun& run, const std::vector<Reported>& reported);

// A path that vhdx-inspect-json was given or found, with the name as UTF-8
// text, as it comes out in a JSON object: on Windows the name itself; on
// Linux its bytes, with U+FFFD for what is not UTF-8.
std::string AsJsonShowsIt(const std::string& path);

}  // namespace both_programs
