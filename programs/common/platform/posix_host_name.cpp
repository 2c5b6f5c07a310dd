#include <unistd.h>

#include <array>

#include "common/platform/host_name.h"

namespace vhdx_programs {

std::string HostName() {
  // HOST_NAME_MAX is 64 on Linux; the name is cut short, not refused, when
  // longer.
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "unknown host";
  return name.data();
}

}  // namespace vhdx_programs
