// A path as a program was given it, by an argument or a folder's listing,
// and whether its narrow form is the name itself (narrow_arguments.h). A
// name that is not exact is refused before anything is opened: an image as
// one whose open failed with vhdx_programs::kInexactNameStatus, a folder as one
// that does not exist, each shown with "?" in place of what has no narrow
// form.
#pragma once

#include <string>

#include "common/name_form.h"
#include "common/platform/narrow_arguments.h"
#include "vhdx_inspect/inspect.h"

namespace vhdx_programs {

struct NamedPath {
  std::string path;  // the name to open, or the form to show when not exact
  bool exact = true;
  NameForm form = NameForm::kNarrow;  // how `path` names the file (name_form.h)
};

// The path an option's value names, as NarrowArguments tells it; a kUnicode
// name is always exact.
NamedPath NamedByArgument(const vhdx_programs::NarrowArguments& narrowArguments, const std::string& value,
                          NameForm form = NameForm::kNarrow);

// The path a folder's listing delivers (`native` is the name in the system's
// own form), checked here, not left to how the name is converted: a name
// that has no exact narrow form is never opened by a look-alike.
NamedPath NamedByListing(const vhdx_programs::NativeName& native, const std::string& narrow,
                         NameForm form = NameForm::kNarrow);

// Inspects the image named, or refuses a name that is not exact.
vhdx_inspect::Inspection InspectNamed(vhdx_inspect::Inspector& inspector, const NamedPath& name);

}  // namespace vhdx_programs
