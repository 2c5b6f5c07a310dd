#include "common/name_form.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <memory>

#include "common/wtf8.h"
#endif

namespace vhdx_programs {

#ifdef _WIN32
namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* arguments) const { ::LocalFree(arguments); }
};

}  // namespace

vhdx_programs::NativeName NativeOfUnicodeName(const std::string& name) {
  const std::u16string units = Utf16FromWtf8(name);
  return vhdx_programs::NativeName(units.begin(), units.end());
}

std::string UnicodeNameOf(const vhdx_programs::NativeName& native) {
  return Wtf8FromUtf16(std::u16string(native.begin(), native.end()));
}

std::vector<std::string> UnicodeArguments(int argc, const char* const argv[]) {
  int count = 0;
  const std::unique_ptr<LPWSTR, LocalFreeDeleter> wide(::CommandLineToArgvW(::GetCommandLineW(), &count));
  if (wide == nullptr || count < 1) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(UnicodeNameOf(wide.get()[i]));
  return arguments;
}
#else
vhdx_programs::NativeName NativeOfUnicodeName(const std::string& name) { return name; }

std::string UnicodeNameOf(const vhdx_programs::NativeName& native) { return native; }

std::vector<std::string> UnicodeArguments(int argc, const char* const argv[]) {
  return std::vector<std::string>(argv, argv + argc);
}
#endif

}  // namespace vhdx_programs
