// Win32: the narrow (ANSI code page) arguments of main() against the wide
// command line, and the narrow form of a wide name, both converted with
// WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS), which puts the code
// page's default character "?" in place of a character without a narrow form
// and says so, where the conversion that made main()'s arguments put a
// look-alike.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <climits>
#include <memory>

#include "common/platform/narrow_arguments.h"

namespace vhdx_programs {

const vhdx_inspect::detail::platform::ErrorCode kInexactNameStatus = ERROR_INVALID_NAME;

namespace {

struct LocalFreeDeleter {
  void operator()(LPWSTR* arguments) const { ::LocalFree(arguments); }
};

// `narrow` with "?" in place of each byte outside ASCII: the only form that
// can be shown for an argument whose wide form cannot be told.
std::string WithoutNonAscii(std::string narrow) {
  for (char& c : narrow) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return narrow;
}

}  // namespace

NarrowName NarrowFormOf(const NativeName& name) {
  if (name.empty()) return {};
  if (name.size() > INT_MAX) return {std::string(), false};
  const int wideLength = static_cast<int>(name.size());
  BOOL usedDefaultChar = FALSE;
  const int length = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), wideLength, nullptr, 0, nullptr,
                                           &usedDefaultChar);
  if (length <= 0) return {std::string(), false};
  std::string text(static_cast<std::size_t>(length), '\0');
  usedDefaultChar = FALSE;
  const int written = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.data(), wideLength, text.data(), length,
                                            nullptr, &usedDefaultChar);
  if (written != length) return {std::string(), false};
  return {std::move(text), usedDefaultChar == FALSE};
}

NarrowArguments NarrowArguments::OfThisProcess(int argc, const char* const argv[]) {
  const LPCWSTR commandLine = ::GetCommandLineW();
  int wideCount = 0;
  const std::unique_ptr<LPWSTR, LocalFreeDeleter> wide(::CommandLineToArgvW(commandLine, &wideCount));
  std::vector<Inexact> inexact;
  if (wide != nullptr && wideCount == argc) {
    // argv[0], the program's own name, is never an option's value.
    for (int i = 1; i < argc; ++i) {
      NarrowName exact = NarrowFormOf(wide.get()[i]);
      if (!exact.exact || exact.text != argv[i]) inexact.push_back({argv[i], std::move(exact.text)});
    }
  } else if (!NarrowFormOf(commandLine).exact) {
    // The C runtime split the command line otherwise than CommandLineToArgvW:
    // no argument can be matched with its wide form, and one of them is not
    // exact, so none is trusted.
    for (int i = 1; i < argc; ++i) inexact.push_back({argv[i], WithoutNonAscii(argv[i])});
  }
  return NarrowArguments(std::move(inexact));
}

}  // namespace vhdx_programs
