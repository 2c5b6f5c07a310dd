#include "views/html/report_page.h"

#include <algorithm>
#include <numeric>
#include <utility>

#include "views/html/image_map.h"
#include "views/html/image_table.h"
#include "views/html/summary.h"

namespace vhdx_inspect::views::html {
namespace {

// The page's own style; nothing from an image is in it. The tables' layout
// is fixed (their columns' widths from the colgroup), and the maps and the
// rows after the first 500 are laid out only near the view
// (content-visibility): a page of 10,000 images, 1,000 of them with maps,
// took headless chromium 4.6 s to show its first screen without them, 3.0 s
// with them (1.9 s for an empty page).
constexpr char kHead[] = R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; img-src data:">
<title>vhdx-inspect report</title>
<style>
body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222}
h1{font-size:1.4em;margin:0 0 .5em}
h2{font-size:1.2em;margin:1.5em 0 .5em}
h3{font-size:1em;margin:1.5em 0 .3em;word-break:break-all}
h4{font-size:.9em;font-weight:normal;margin:.6em 0 .2em;color:#444}
code{font:12px ui-monospace,monospace}
.swatch{display:inline-block;width:.9em;height:.9em;margin-right:.4em;vertical-align:-.1em;border:1px solid #0006}
.counts td{padding:0 1em 0 0}.counts .count{text-align:right}
.bar{display:flex;width:100%;max-width:60em;height:1.6em;margin:.5em 0;border:1px solid #999}
.bar span{display:block;overflow:hidden;white-space:nowrap;font-size:12px;line-height:1.6em;padding-left:.3em;min-width:.3em;color:#000}
.made{color:#555;font-size:12px}
table.images{border-collapse:collapse;width:100%;table-layout:fixed}
table.images th,table.images td{border-bottom:1px solid #ddd;padding:.25em .5em;text-align:left;vertical-align:top;overflow-wrap:anywhere}
td.line{font:12px ui-monospace,monospace;white-space:pre-wrap}
section.map{content-visibility:auto;contain-intrinsic-size:auto 600px}
div.rows{content-visibility:auto;contain-intrinsic-size:auto 15000px}
.verdict{font-weight:bold}.verdict.corrupt{color:#a33b00}.verdict.unreadable{color:#8a3b6f}
.verdict.gpt_mismatch{color:#8a5f00}.verdict.not_plugin{color:#1f6f99}.verdict.sound{color:#006e53}
svg{display:block;font:11px ui-monospace,monospace;max-width:100%;height:auto}
svg .tick,svg .past,svg .break{font-size:10px;fill:#333}
.findings{margin:.3em 0;padding-left:1.2em}
</style>
</head>
<body>
<h1>vhdx-inspect report</h1>
)";

// Whatever has gathered is written once it is this long, so that the page
// is never held whole.
constexpr std::size_t kChunk = 64 * 1024;

void Flush(std::string& chunk, std::ostream& out, bool always) {
  if (always || chunk.size() >= kChunk) {
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    chunk.clear();
  }
}

}  // namespace

void ReportPage::Add(ImageRecord record) { records_.push_back(std::move(record)); }

void ReportPage::Write(std::ostream& out, const MadeFrom& made) const {
  std::vector<std::size_t> order(records_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return records_[a].verdict < records_[b].verdict; });
  VerdictCounts counts{};
  for (const ImageRecord& record : records_) ++counts[static_cast<std::size_t>(record.verdict)];

  std::string chunk = kHead;
  AppendSummary(chunk, counts, made);
  chunk += "<h2>Images</h2>\n";
  AppendImageTable(chunk, records_, order);
  Flush(chunk, out, true);
  const bool anyMap =
      std::any_of(records_.begin(), records_.end(), [](const ImageRecord& r) { return r.map.has_value(); });
  if (anyMap) {
    chunk += "<h2>Maps</h2>\n";
    AppendMapDefinitions(chunk);
  }
  for (std::size_t row = 0; row < order.size(); ++row) {
    AppendImageMaps(chunk, records_[order[row]], row + 1);
    Flush(chunk, out, false);
  }
  chunk += "</body>\n</html>\n";
  Flush(chunk, out, true);
  out.flush();
}

}  // namespace vhdx_inspect::views::html
