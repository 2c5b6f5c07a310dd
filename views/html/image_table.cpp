#include "views/html/image_table.h"

#include "views/html/escape.h"

namespace vhdx_inspect::views::html {
namespace {

void AppendFinding(std::string& out, const Finding& finding) {
  out += "<div><code>";
  AppendEscaped(out, finding.check);
  out += "</code>";
  if (!finding.side.empty()) {
    out += " (";
    AppendEscaped(out, finding.side);
    out += ")";
  }
  out += " ";
  AppendEscaped(out, finding.message);
  out += "</div>";
}

}  // namespace

void AppendImageTable(std::string& out, const std::vector<ImageRecord>& records,
                      const std::vector<std::size_t>& order) {
  static constexpr char kColumns[] =
      "<colgroup><col style=\"width:3em\"><col style=\"width:24%\"><col style=\"width:7em\">"
      "<col style=\"width:16%\"><col style=\"width:27%\"><col></colgroup>\n";
  out += "<table class=\"images\">\n";
  out += kColumns;
  out +=
      "<thead><tr><th>#</th><th>Path</th><th>Verdict</th><th>Failed check</th>"
      "<th>Its line</th><th>Warnings</th></tr></thead>\n<tbody>\n";
  std::size_t number = 0;
  for (const std::size_t index : order) {
    if (number > 0 && number % kRowsPerTable == 0) {
      // The next rows in a table of their own, laid out only near the view.
      out += number == kRowsPerTable ? "</tbody>\n</table>\n" : "</tbody>\n</table>\n</div>\n";
      out += "<div class=\"rows\"><table class=\"images\">\n";
      out += kColumns;
      out += "<tbody>\n";
    }
    const ImageRecord& record = records[index];
    ++number;
    const std::string row = std::to_string(number);
    out += "<tr id=\"row-" + row + "\" class=\"image\" data-verdict=\"";
    out += VerdictName(record.verdict);
    out += "\"><td>" + row + "</td><td class=\"path\">";
    if (record.map) out += "<a href=\"#map-" + row + "\">";
    AppendEscaped(out, record.path);
    if (record.map) out += "</a>";
    out += "</td><td class=\"verdict ";
    out += VerdictName(record.verdict);
    out += "\">";
    out += VerdictName(record.verdict);
    out += "</td><td class=\"check\">";
    if (record.failure) {
      out += "<code>";
      AppendEscaped(out, record.failure->check);
      out += "</code>";
    }
    for (const Finding& finding : record.gptFindings) {
      out += "<div><code>";
      AppendEscaped(out, finding.check);
      out += "</code> (";
      AppendEscaped(out, finding.side.empty() ? "both" : finding.side);
      out += ")</div>";
    }
    out += "</td><td class=\"line\">";
    if (record.failure) AppendEscaped(out, record.failure->message);
    for (const Finding& finding : record.gptFindings) {
      out += "<div>";
      AppendEscaped(out, finding.message);
      out += "</div>";
    }
    out += "</td><td class=\"warnings\">";
    for (const Finding& warning : record.warnings) AppendFinding(out, warning);
    for (const Finding& finding : record.structureFindings) {
      if (finding.severity != "warning") continue;
      out += "<div><code>";
      AppendEscaped(out, finding.check);
      out += "</code> ";
      AppendEscaped(out, finding.description);
      out += "</div>";
    }
    out += "</td></tr>\n";
  }
  out += "</tbody>\n</table>\n";
  if (number > kRowsPerTable) out += "</div>\n";
}

}  // namespace vhdx_inspect::views::html
