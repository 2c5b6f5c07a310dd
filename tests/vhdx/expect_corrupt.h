// The reader's one way of failing, as its tests expect it.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "vhdx/corrupt_plugin_vhdx_exception.h"

namespace vhdx_test {

// Runs `query` and expects it to raise the reader's exception, with its
// fixed text.
inline void ExpectCorrupt(const std::function<void()>& query) {
  try {
    query();
    ADD_FAILURE() << "no CorruptPluginVhdxException";
  } catch (const vhdx::CorruptPluginVhdxException& e) {
    EXPECT_STREQ(e.what(), "plugin VHDX is corrupt");
  }
}

}  // namespace vhdx_test
