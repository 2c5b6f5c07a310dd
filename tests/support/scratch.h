// Scratch files for tests: a path that no other running test uses.
#pragma once

#include <string>

namespace testsupport_test {

// A path in the test scratch directory, unique to this process and test.
std::string ScratchPath(const std::string& name);

}  // namespace testsupport_test
