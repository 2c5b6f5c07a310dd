#include "common/named_path.h"

#include <filesystem>
#include <optional>
#include <utility>

#include "vhdx_inspect/program_support.h"

namespace vhdx_programs {

NamedPath NamedByArgument(const vhdx_programs::NarrowArguments& narrowArguments, const std::string& value,
                          NameForm form) {
  if (form == NameForm::kUnicode) return {value, true, form};
  if (const std::optional<std::string> shown = narrowArguments.ShownIfInexact(value)) return {*shown, false};
  return {value, true};
}

NamedPath NamedByListing(const vhdx_programs::NativeName& native, const std::string& narrow, NameForm form) {
  if (form == NameForm::kUnicode) return {UnicodeNameOf(native), true, form};
  vhdx_programs::NarrowName name = vhdx_programs::NarrowFormOf(native);
  if (!name.exact) return {std::move(name.text), false};
  return {narrow, true};
}

vhdx_inspect::Inspection InspectNamed(vhdx_inspect::Inspector& inspector, const NamedPath& name) {
  // A kUnicode name by its exact form in the system (on Windows its UTF-16
  // name); a narrow one as the system's arguments and listings give it.
  if (name.exact && name.form == NameForm::kUnicode) {
    return inspector.Inspect(std::filesystem::path(NativeOfUnicodeName(name.path)));
  }
  if (name.exact) return vhdx_inspect::InspectNarrowName(inspector, name.path);
  return vhdx_inspect::RefusedOpen(inspector, name.path, vhdx_programs::kInexactNameStatus);
}

}  // namespace vhdx_programs
