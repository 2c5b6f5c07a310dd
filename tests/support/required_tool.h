// The independent tools that tests compare the program and the built images
// with (qemu-img, vhdiinfo, sgdisk), found as FindProgram finds them. Where a
// tool is missing, a test that needs it is skipped with the reason; in
// continuous integration (the environment has CI=true), which installs every
// tool (scripts/install-deps.sh test), a missing tool fails the test instead,
// so that no comparison is dropped without notice. A build configured with
// VHDX_WITH_EXTERNAL_READERS=OFF skips them everywhere, saying so. Header only,
// for GoogleTest programs.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

#include "support/program_run.h"

namespace testsupport {

inline bool InContinuousIntegration() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && std::string_view(ci) == "true";
}

// Ends the running test for want of a tool: a skip with `reason`, or in CI a
// failure. The caller returns at once.
inline void MissingTool(const std::string& reason) {
  if (InContinuousIntegration()) {
    GTEST_FAIL() << reason << " (in CI, where every tool must be installed)";
  } else {
    GTEST_SKIP() << reason;
  }
}

inline std::string NotInstalled(const std::string& name, const std::string& package) {
  return name + " is not installed (Debian package " + package + ")";
}

inline constexpr bool kExternalReadersSwitchedOff = VHDX_EXTERNAL_READERS == 0;
inline constexpr const char* kExternalReadersOff = " is switched off in this build (VHDX_WITH_EXTERNAL_READERS=OFF)";

// Ends the running test with a skip, in CI too: the build left the tool out.
inline void SwitchedOff(const std::string& name) { GTEST_SKIP() << name << kExternalReadersOff; }

// The path of `name`, from the Debian package `package`; when it is missing,
// MissingTool, and the caller returns:
//
//   const auto sgdisk = RequireTool("sgdisk", "gdisk");
//   if (!sgdisk) return;
inline std::optional<std::string> RequireTool(const std::string& name, const std::string& package) {
  if (kExternalReadersSwitchedOff) {
    SwitchedOff(name);
    return std::nullopt;
  }
  std::optional<std::string> found = FindProgram(name);
  if (!found) MissingTool(NotInstalled(name, package));
  return found;
}

// The path of `name` for a part of a test that can be left out: when it is
// missing the part is left out with a note, and in CI the test fails.
inline std::optional<std::string> OptionalTool(const std::string& name, const std::string& package) {
  if (kExternalReadersSwitchedOff) {
    std::cout << "[ NOTE     ] " << name << kExternalReadersOff << ": the part that needs it is left out\n";
    return std::nullopt;
  }
  std::optional<std::string> found = FindProgram(name);
  if (!found) {
    if (InContinuousIntegration()) {
      ADD_FAILURE() << NotInstalled(name, package) << " (in CI, where every tool must be installed)";
    } else {
      std::cout << "[ NOTE     ] " << NotInstalled(name, package) << ": the part that needs it is left out\n";
    }
  }
  return found;
}

}  // namespace testsupport
