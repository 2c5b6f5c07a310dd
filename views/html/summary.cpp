#include "views/html/summary.h"

#include <cstdio>

#include "views/html/escape.h"

namespace vhdx_inspect::views::html {

const char* VerdictColour(Verdict verdict) {
  switch (verdict) {
    case Verdict::kCorrupt:
      return "#D55E00";
    case Verdict::kUnreadable:
      return "#CC79A7";
    case Verdict::kGptMismatch:
      return "#E69F00";
    case Verdict::kNotPlugin:
      return "#56B4E9";
    case Verdict::kSound:
      return "#009E73";
  }
  return "#000000";
}

void AppendSummary(std::string& out, const VerdictCounts& counts, const MadeFrom& made) {
  std::size_t total = 0;
  for (const std::size_t count : counts) total += count;
  out += "<section class=\"summary\">\n<p class=\"total\">" + std::to_string(total) +
         (total == 1 ? " image" : " images") + "</p>\n<table class=\"counts\">\n";
  for (int i = 0; i < kVerdictCount; ++i) {
    const auto verdict = static_cast<Verdict>(i);
    out += "<tr data-verdict=\"";
    out += VerdictName(verdict);
    out += "\"><td><span class=\"swatch\" style=\"background:";
    out += VerdictColour(verdict);
    out += "\"></span>";
    out += VerdictName(verdict);
    out += "</td><td class=\"count\">" + std::to_string(counts[static_cast<std::size_t>(i)]) + "</td></tr>\n";
  }
  out += "</table>\n<div class=\"bar\">";
  for (int i = 0; i < kVerdictCount; ++i) {
    const std::size_t count = counts[static_cast<std::size_t>(i)];
    if (count == 0) continue;
    const auto verdict = static_cast<Verdict>(i);
    std::array<char, 32> share{};
    std::snprintf(share.data(), share.size(), "%.3f", 100.0 * static_cast<double>(count) / static_cast<double>(total));
    out += "<span style=\"width:";
    out += share.data();
    out += "%;background:";
    out += VerdictColour(verdict);
    out += "\">";
    out += VerdictName(verdict);
    // Appended piece by piece: g++ 12 at -O3 takes " " + std::to_string(...)
    // here for an overlapping copy (-Wrestrict, a false positive).
    out += ' ';
    out += std::to_string(count);
    out += "</span>";
  }
  out += "</div>\n";
  // One line, the only one that differs between two reports of the same
  // images.
  out += "<p class=\"made\">Made ";
  AppendEscaped(out, made.when);
  out += " on ";
  AppendEscaped(out, made.host);
  out += " by ";
  AppendEscaped(out, made.program);
  out += " from ";
  AppendEscaped(out, made.source);
  out += ":";
  std::size_t shown = 0;
  for (const std::string& input : made.inputs) {
    if (shown == kMostInputsShown) {
      out += " and " + std::to_string(made.inputs.size() - shown) + " more";
      break;
    }
    out += " <code>";
    AppendEscaped(out, input);
    out += "</code>";
    ++shown;
  }
  out += "</p>\n</section>\n";
}

}  // namespace vhdx_inspect::views::html
