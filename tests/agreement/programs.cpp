#include "programs.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace agreement {
namespace {

bool IsExecutable(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return testsupport::RunProgram(argv);
}

std::string VhdxInspectPath() {
  const char* fromEnvironment = std::getenv("VHDX_INSPECT");
  return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : VHDX_INSPECT_BUILT_PATH;
}

ProgramRun RunVhdxInspect(const std::vector<std::string>& arguments) {
  return RunProgram(VhdxInspectPath(), arguments);
}

std::optional<std::string> FindProgram(const std::string& name) {
  std::string directories = std::getenv("PATH") != nullptr ? std::getenv("PATH") : "";
  directories += ":/usr/sbin:/sbin";
  std::string_view rest = directories;
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string_view directory = rest.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
    if (directory.empty()) continue;
    const std::filesystem::path candidate = std::filesystem::path(directory) / name;
    if (IsExecutable(candidate)) return candidate.string();
  }
  return std::nullopt;
}

}  // namespace agreement
