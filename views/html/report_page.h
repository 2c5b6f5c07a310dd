// The report page of a scan: one self-contained HTML file (inline CSS and
// SVG, no script, nothing fetched) with the summary (summary.h), the table
// of every image worst first (image_table.h) and the maps of the images that
// are not sound (image_map.h). Images are added one at a time, as their
// lines arrive, and kept as compact records (image_record.h).
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "views/html/image_record.h"

namespace vhdx_inspect::views::html {

// When, where and from what the page was made: its one line that differs
// between two reports of the same images.
struct MadeFrom {
  std::string when;                 // "2026-12-11 09:41:07 UTC"
  std::string host;                 // the machine's name
  std::string program;              // "vhdx-inspect-report 2.0.0"
  std::string source;               // "a scan of", "JSON lines from"
  std::vector<std::string> inputs;  // the command's inputs (options and names)
};

class ReportPage {
 public:
  void Add(ImageRecord record);
  std::size_t Images() const { return records_.size(); }

  // Writes the whole page. The table lists the images worst first, in the
  // order they were added within a verdict.
  void Write(std::ostream& out, const MadeFrom& made) const;

 private:
  std::vector<ImageRecord> records_;
};

}  // namespace vhdx_inspect::views::html
