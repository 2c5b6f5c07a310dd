#include "common/platform/narrow_arguments.h"

namespace vhdx_programs {

std::optional<std::string> NarrowArguments::ShownIfInexact(const std::string& value) const {
  if (value.empty()) return std::nullopt;
  for (const Inexact& argument : inexact_) {
    if (!argument.narrow.ends_with(value)) continue;
    // The option's name before the value ("--vhdx-file=", "-f") is shown as
    // given when it is exact; otherwise the whole argument is shown.
    const std::string before = argument.narrow.substr(0, argument.narrow.size() - value.size());
    if (argument.shown.starts_with(before)) return argument.shown.substr(before.size());
    return argument.shown;
  }
  return std::nullopt;
}

}  // namespace vhdx_programs
