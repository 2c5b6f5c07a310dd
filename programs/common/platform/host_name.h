// The name of the machine a program runs on, for what it reports about
// itself (the report page says where it was made).
#pragma once

#include <string>

namespace vhdx_programs {

// The machine's name as UTF-8 text (on Windows its NetBIOS name, from
// UTF-16), or "unknown host" when the system does not tell it.
std::string HostName();

}  // namespace vhdx_programs
