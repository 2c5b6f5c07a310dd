#include "programs.h"

#include <cstdlib>

namespace agreement {

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

}  // namespace agreement
