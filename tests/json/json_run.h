// Runs vhdx-inspect-json, the Linux build or, when VHDX_INSPECT_JSON_EXE
// names vhdx-inspect-json.exe, the Windows build under wine (as
// tests/e2e/run_tool.h runs the text program), and reads its JSON lines.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace json_test {

// The documented exit statuses (the manual page, vhdx-inspect-json(1)).
inline constexpr int kAllSound = 0;
inline constexpr int kCommandLineError = 1;
inline constexpr int kReportNotWritten = 2;
inline constexpr int kFolderNotScanned = 3;
inline constexpr int kImageNotSound = 4;

// True when the Windows program is under test.
bool WindowsJsonProgramUnderTest();

// Runs the JSON program with `arguments`. For the Windows program, every
// line of both streams must end with CR LF (checked here); the run is handed
// back with LF line ends.
testsupport::ProgramRun RunJson(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits = {});

// The lines of `out`, each parsed; a line that is not one JSON object fails
// the test. `out` must end with a line end.
std::vector<nlohmann::json> JsonLines(const std::string& out);

// The one object of a run on one image.
nlohmann::json OnlyObject(const testsupport::ProgramRun& run);

// `text` as UTF-8 with every byte sequence that is not UTF-8 replaced by
// U+FFFD, one for each maximal bad subsequence.
std::string WithReplacementCharacters(const std::string& text);

}  // namespace json_test
