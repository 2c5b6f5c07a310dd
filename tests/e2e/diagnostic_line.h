// The text report's diagnostic line: the line before "Exception occurred:
// plugin VHDX is corrupt", which names the check that failed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace e2e {

inline constexpr char kExceptionLine[] = "Exception occurred: plugin VHDX is corrupt";

// The lines of `text`, without their line ends.
inline std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  return lines;
}

// The line before the "Exception occurred: " line that ends `report` (one
// image's text report), empty when there is none before it; nothing when the
// report does not end with that line (the image is not corrupt).
inline std::optional<std::string> DiagnosticLine(const std::string& report) {
  const std::vector<std::string> lines = LinesOf(report);
  if (lines.empty() || lines.back() != kExceptionLine) return std::nullopt;
  return lines.size() >= 2 ? lines[lines.size() - 2] : std::string();
}

}  // namespace e2e
