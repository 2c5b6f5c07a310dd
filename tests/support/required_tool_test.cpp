// Finding the independent tools: the sbin folders are searched whatever PATH
// holds, and in CI a missing tool fails the test rather than skipping it.
#include "support/required_tool.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <optional>
#include <string>

namespace {

// Sets an environment variable for the length of a test, then restores it.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~ScopedEnvironment() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// ldconfig (Debian's libc-bin, always installed) lives in /usr/sbin, like
// sgdisk.
TEST(FindProgram, LooksInTheSbinFoldersWhateverPathHolds) {
  const ScopedEnvironment path("PATH", "/nonexistent");
  const std::optional<std::string> found = testsupport::FindProgram("ldconfig");
  ASSERT_TRUE(found.has_value());
  EXPECT_TRUE(*found == "/usr/sbin/ldconfig" || *found == "/sbin/ldconfig") << *found;
  EXPECT_FALSE(testsupport::FindProgram("vhdx-inspect-no-such-tool").has_value());
}

TEST(RequireTool, AMissingToolFailsTheTestInCi) {
  if (testsupport::kExternalReadersSwitchedOff)
    GTEST_SKIP() << "the external readers" << testsupport::kExternalReadersOff;
  const ScopedEnvironment ci("CI", "true");
  EXPECT_FATAL_FAILURE(testsupport::RequireTool("vhdx-inspect-no-such-tool", "none"),
                       "vhdx-inspect-no-such-tool is not installed (Debian package none)");
}

}  // namespace
