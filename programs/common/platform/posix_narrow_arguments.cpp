// POSIX: a name is its bytes; every narrow name is exact.
#include <cerrno>

#include "common/platform/narrow_arguments.h"

namespace vhdx_programs {

const vhdx_inspect::detail::platform::ErrorCode kInexactNameStatus = EILSEQ;

NarrowName NarrowFormOf(const NativeName& name) { return {name, true}; }

NarrowArguments NarrowArguments::OfThisProcess(int /*argc*/, const char* const /*argv*/[]) { return {}; }

}  // namespace vhdx_programs
