#include "scratch.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <process.h>
#define VHDX_TEST_PID _getpid()
#else
#include <unistd.h>
#define VHDX_TEST_PID getpid()
#endif

namespace testsupport_test {

std::string ScratchPath(const std::string& name) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string unique = std::to_string(VHDX_TEST_PID);
  if (test != nullptr) unique += std::string("-") + test->test_suite_name() + "-" + test->name();
  for (char& c : unique) {
    if (c == '/' || c == '\\') c = '_';
  }
  return ::testing::TempDir() + "testsupport-" + unique + "-" + name;
}

}  // namespace testsupport_test
