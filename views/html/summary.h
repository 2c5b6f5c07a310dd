// The page's summary: how many images of each verdict, as numbers and as one
// bar of five coloured parts (each labelled), and the line that says when,
// on which machine and from what the page was made.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "views/html/image_record.h"
#include "views/html/report_page.h"

namespace vhdx_inspect::views::html {

using VerdictCounts = std::array<std::size_t, kVerdictCount>;

// The verdict's colour on the page (summary bar, table, maps' headings).
const char* VerdictColour(Verdict verdict);

// At most this many of the command's inputs are listed; the rest are counted.
inline constexpr std::size_t kMostInputsShown = 20;

void AppendSummary(std::string& out, const VerdictCounts& counts, const MadeFrom& made);

}  // namespace vhdx_inspect::views::html
