#include "run_tool.h"

namespace e2e {

ToolRun RunTool(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits) {
  std::vector<std::string> argv{VHDX_INSPECT_PATH};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return testsupport::RunProgram(argv, limits);
}

}  // namespace e2e
