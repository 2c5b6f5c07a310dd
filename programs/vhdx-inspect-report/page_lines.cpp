#include "vhdx-inspect-report/page_lines.h"

#include <utility>

#include "views/json/json_report.h"

namespace report_app {

namespace html = vhdx_inspect::views::html;

void PageLines::Take(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  Take(html::ReadImageLine(line, mapsForAll_));
}

void PageLines::Take(html::LineReading reading) {
  ++number_;
  if (!reading.record) {
    allValid_ = false;
    err_ << "vhdx-inspect-report: " << origin_ << " line " << number_
         << ": not an object of vhdx-inspect-json's schema: " << reading.problem << std::endl;
    return;
  }
  if (reading.record->verdict != html::Verdict::kSound) allSound_ = false;
  page_.Add(std::move(*reading.record));
}

void LineStream::End() {
  if (line_.empty()) return;
  lines_.Take(line_);
  line_.clear();
}

namespace {

struct MadeRecord final : json_app::Made {
  html::LineReading reading;
};

}  // namespace

std::unique_ptr<json_app::Made> PageOutput::Make(const vhdx_inspect::Inspection& inspection) const {
  auto made = std::make_unique<MadeRecord>();
  made->reading = html::ReadImageObject(vhdx_inspect::views::json::JsonReport(inspection), mapsForAll_);
  return made;
}

void PageOutput::Put(json_app::Made& made) {
  json_app::ThrowIfInterrupted();
  lines_.Take(std::move(static_cast<MadeRecord&>(made).reading));
}

LineStream::int_type LineStream::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char character = traits_type::to_char_type(c);
  xsputn(&character, 1);
  return c;
}

std::streamsize LineStream::xsputn(const char* s, std::streamsize n) {
  std::string_view bytes(s, static_cast<std::size_t>(n));
  while (!bytes.empty()) {
    const std::size_t end = bytes.find('\n');
    if (end == std::string_view::npos) {
      line_.append(bytes);
      break;
    }
    line_.append(bytes.substr(0, end));
    lines_.Take(line_);
    line_.clear();
    bytes.remove_prefix(end + 1);
  }
  return n;
}

}  // namespace report_app
