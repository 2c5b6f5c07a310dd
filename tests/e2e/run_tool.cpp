#include "run_tool.h"

namespace e2e {

ToolRun RunTool(const std::vector<std::string>& arguments, const testsupport::RunLimits& limits) {
  std::vector<std::string> argv{VHDX_INSPECT_PATH};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return testsupport::RunProgram(argv, limits);
}

ToolRun RunToolAsOrdinaryUser(const ScratchDirectory& files, const std::vector<std::string>& arguments) {
  testsupport::RunLimits limits;
  limits.as = testsupport::UnprivilegedAccount();
  if (limits.as) testsupport::HandOver(files.path(), *limits.as);
  return RunTool(arguments, limits);
}

}  // namespace e2e
