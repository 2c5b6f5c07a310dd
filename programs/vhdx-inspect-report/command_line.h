#pragma once

#include <ostream>

namespace report_app {

// Parses the command line of vhdx-inspect-report, makes the page from a
// scan of the images it names (as vhdx-inspect-json would scan them) or from
// the JSON lines of --from-json, writes it to -o FILE or to `out`, and
// returns the exit status (common/exit_status.h). The lines about the run go
// to `err`. The arguments are names in the kUnicode form
// (common/name_form.h).
int RunCommandLine(int argc, const char* const argv[], std::ostream& out, std::ostream& err);

}  // namespace report_app
