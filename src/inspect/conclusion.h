// What an inspection concludes once its checks have run: the verdict, and
// the plain sentences of its failure, findings and warnings.
#pragma once

#include "vhdx_inspect/inspection.h"

namespace vhdx_inspect::detail::inspect {

void Conclude(vhdx_inspect::Inspection& inspection);

}  // namespace vhdx_inspect::detail::inspect
