#include <windows.h>

#include <array>

#include "common/name_form.h"
#include "common/platform/host_name.h"

namespace vhdx_programs {

std::string HostName() {
  std::array<wchar_t, MAX_COMPUTERNAME_LENGTH + 1> name{};
  DWORD length = static_cast<DWORD>(name.size());
  if (::GetComputerNameW(name.data(), &length) == 0 || length == 0) return "unknown host";
  return UnicodeNameOf(vhdx_programs::NativeName(name.data(), length));
}

}  // namespace vhdx_programs
