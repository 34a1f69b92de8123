#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "platform/introspection.h"
#include "platform/platform.h"

namespace quavr::platform {
namespace {

class HandleTableTest : public ::testing::Test {
 protected:
  void SetUp() override { live_ = posix::liveBlocks(); }
  void TearDown() override { EXPECT_EQ(posix::liveBlocks(), live_) << "blocks leaked"; }
  std::size_t live_ = 0;
};

TEST_F(HandleTableTest, BlocksAreZeroFilledAndSizedExactly) {
  const HGLOBAL a = GlobalAlloc(GHND, 100);
  const HGLOBAL b = GlobalAlloc(GMEM_DDESHARE | GMEM_ZEROINIT, 0);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_NE(a, b);
  EXPECT_EQ(GlobalSize(a), 100u);
  EXPECT_EQ(GlobalSize(b), 0u);
  auto* bytes = static_cast<unsigned char*>(GlobalLock(a));
  ASSERT_NE(bytes, nullptr);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(bytes[i], 0) << i;
  EXPECT_NE(GlobalLock(b), nullptr) << "an empty block still resolves";
  EXPECT_EQ(GlobalFlags(b) & GMEM_DDESHARE, GMEM_DDESHARE);
  GlobalUnlock(a);
  GlobalUnlock(b);
  EXPECT_EQ(GlobalFree(a), 0u);
  EXPECT_EQ(GlobalFree(b), 0u);
}

TEST_F(HandleTableTest, StaleHandlesNeverReachTheBlockThatReusedTheirSlot) {
  const HGLOBAL old = GlobalAlloc(GHND, 8);
  ASSERT_EQ(GlobalFree(old), 0u);
  // Cycle through enough blocks that the freed slot is handed out again.
  std::vector<HGLOBAL> blocks;
  bool reused = false;
  for (int i = 0; i < 5000 && !reused; ++i) {
    blocks.push_back(GlobalAlloc(GHND, 8));
    reused = (blocks.back() & 0x3FFFFF) == (old & 0x3FFFFF);
    if (!reused && i % 2 == 0) {
      GlobalFree(blocks.back());
      blocks.pop_back();
    }
  }
  ASSERT_TRUE(reused) << "the slot was not reused";
  EXPECT_NE(blocks.back(), old);
  EXPECT_EQ(GlobalLock(old), nullptr);
  EXPECT_FALSE(GlobalUnlock(old));
  EXPECT_EQ(GlobalFree(old), old);
  EXPECT_EQ(GlobalFlags(old), GMEM_INVALID_HANDLE);
  EXPECT_EQ(GlobalSize(old), 0u);
  for (HGLOBAL block : blocks) EXPECT_EQ(GlobalFree(block), 0u);
}

TEST_F(HandleTableTest, ForgedHandlesResolveToNothing) {
  const HGLOBAL real = GlobalAlloc(GHND, 8);
  for (HGLOBAL forged : {0u, 0xFFFFFFFFu, real ^ 0x80000000u, real + 1, real ^ 0x00400000u}) {
    EXPECT_EQ(GlobalLock(forged), nullptr) << forged;
    EXPECT_EQ(GlobalFlags(forged), GMEM_INVALID_HANDLE) << forged;
  }
  EXPECT_EQ(GlobalFree(0), 0u) << "freeing nothing is not an error";
  EXPECT_EQ(GlobalFree(real ^ 0x00400000u), real ^ 0x00400000u);
  EXPECT_NE(GlobalLock(real), nullptr) << "the real block is untouched";
  GlobalUnlock(real);
  EXPECT_EQ(GlobalFree(real), 0u);
}

TEST_F(HandleTableTest, LockCountsAreKeptAndAResolvedBlockIsNotFreed) {
  const HGLOBAL block = GlobalAlloc(GHND, 4);
  void* first = GlobalLock(block);
  void* second = GlobalLock(block);
  EXPECT_EQ(first, second);
  EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 2u);
  EXPECT_EQ(GlobalHandle(first), block);
  EXPECT_EQ(GlobalFree(block), block) << "freeing under a live address must fail";
  EXPECT_TRUE(GlobalUnlock(block)) << "still resolved once";
  EXPECT_FALSE(GlobalUnlock(block)) << "now released";
  EXPECT_FALSE(GlobalUnlock(block)) << "one release too many";
  EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);
  EXPECT_EQ(GlobalFree(block), 0u);
  EXPECT_EQ(GlobalHandle(first), 0u);
}

TEST_F(HandleTableTest, ThreadsShareTheTableSafely) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      std::vector<HGLOBAL> mine;
      for (int i = 0; i < 2000; ++i) {
        const HGLOBAL block = GlobalAlloc(GHND, 16);
        auto* p = static_cast<unsigned char*>(GlobalLock(block));
        std::memset(p, t, 16);
        GlobalUnlock(block);
        mine.push_back(block);
        if (i % 3 == 0) {
          EXPECT_EQ(GlobalFree(mine.front()), 0u);
          mine.erase(mine.begin());
        }
      }
      for (HGLOBAL block : mine) {
        auto* p = static_cast<unsigned char*>(GlobalLock(block));
        EXPECT_EQ(p[15], t) << "another thread wrote into this block";
        GlobalUnlock(block);
        EXPECT_EQ(GlobalFree(block), 0u);
      }
    });
  }
  for (auto& thread : threads) thread.join();
}

}  // namespace
}  // namespace quavr::platform
