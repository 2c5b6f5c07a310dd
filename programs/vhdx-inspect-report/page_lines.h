// Images into the report page: the one way both modes feed it. --from-json
// hands each line of its file to PageLines::Take (through a LineStream); the
// program's own scan hands each image's JSON object, the one vhdx-inspect-
// json would write as its line, read by the same reader (PageOutput). A line
// that is not a valid object gets one line on the error stream naming its
// number, and is left out of the page.
#pragma once

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>
#include <utility>

#include "vhdx-inspect-json/image_run.h"
#include "views/html/image_record.h"
#include "views/html/report_page.h"

namespace report_app {

class PageLines {
 public:
  // `origin` names where the lines come from in the error line ("-",
  // "scan.jsonl", "the scan").
  PageLines(vhdx_inspect::views::html::ReportPage& page, bool mapsForAll, std::string origin, std::ostream& err)
      : page_(page), mapsForAll_(mapsForAll), origin_(std::move(origin)), err_(err) {}

  // The next line, without its line end (one CR before it is dropped too).
  void Take(std::string_view line);
  // The next object, as read.
  void Take(vhdx_inspect::views::html::LineReading reading);

  // False once a line was not a valid object.
  bool AllValid() const { return allValid_; }
  // False once a valid line's verdict was not sound.
  bool AllSound() const { return allSound_; }

 private:
  vhdx_inspect::views::html::ReportPage& page_;
  bool mapsForAll_;
  std::string origin_;
  std::ostream& err_;
  std::size_t number_ = 0;
  bool allValid_ = true;
  bool allSound_ = true;
};

// The scan's output: each image's JSON object (views/json/json_report.h),
// read on the thread that inspected it, into the page in order.
class PageOutput final : public json_app::ImageOutput {
 public:
  PageOutput(PageLines& lines, bool mapsForAll) : lines_(lines), mapsForAll_(mapsForAll) {}
  std::unique_ptr<json_app::Made> Make(const vhdx_inspect::Inspection& inspection) const override;
  void Put(json_app::Made& made) override;

 private:
  PageLines& lines_;
  bool mapsForAll_;
};

// A stream buffer that hands every line written to it (ended by "\n") to a
// PageLines, as it is ended.
class LineStream final : public std::streambuf {
 public:
  explicit LineStream(PageLines& lines) : lines_(lines) {}
  // The end of the lines: a last line without its line end is taken.
  void End();

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* s, std::streamsize n) override;

 private:
  PageLines& lines_;
  std::string line_;
};

}  // namespace report_app
