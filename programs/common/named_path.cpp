#include "common/named_path.h"

#include <optional>
#include <utility>

#include "inspect/inspect_opened.h"

namespace common {

NamedPath NamedByArgument(const platform::NarrowArguments& narrowArguments, const std::string& value) {
  if (const std::optional<std::string> shown = narrowArguments.ShownIfInexact(value)) return {*shown, false};
  return {value, true};
}

NamedPath NamedByListing(const platform::NativeName& native, const std::string& narrow) {
  platform::NarrowName name = platform::NarrowFormOf(native);
  if (!name.exact) return {std::move(name.text), false};
  return {narrow, true};
}

vhdx_inspect::Inspection InspectNamed(vhdx_inspect::Inspector& inspector, const NamedPath& name) {
  // By the narrow name, as the system's arguments and listings give it.
  if (name.exact) return inspect::InspectNarrow(inspector, name.path);
  return inspect::InspectGuarded(name.path, [&] {
    return inspect::InspectOpened(inspector, name.path, platform::OpenResult{nullptr, platform::kInexactNameStatus});
  });
}

}  // namespace common
