// The text report of one inspection, written from its records: what the
// text program prints for one image.
//
// Numbers are written in the stream's base as earlier output left it, and
// the report leaves it as the next image expects (see encoding/number_format.h):
// pass the same stream for every image of a run.
#pragma once

#include <ostream>

#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::views::text {

void WriteTextReport(const vhdx_inspect::Inspection& inspection, std::ostream& out);

}  // namespace vhdx_inspect::views::text
