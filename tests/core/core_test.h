// The fixture every core test uses: a clean fake platform before, no leaked block after.
#pragma once

#include <gtest/gtest.h>

#include "include/quavr.h"
#include "tests/fake/fake_platform.h"

namespace quavr::test {

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    uMidiStatus = 0;
  }
  void TearDown() override {
    EXPECT_EQ(fake::liveBlocks(), 0u) << "blocks leaked";
    EXPECT_EQ(fake::openFileCount(), 0) << "files left open";
  }
};

}  // namespace quavr::test
