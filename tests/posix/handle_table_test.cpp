#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "platform/common/address_index.h"
#include "platform/common/handle_table.h"
#include "platform/platform.h"
#include "platform/platform_info.h"

namespace quavr::platform {
namespace {

const BlockMemory kHeap{[](std::size_t n) { return std::calloc(1, n); },
                        [](void* p, std::size_t) { std::free(p); }};

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

// Large blocks reuse the memory of freed ones: whatever a block held before, one asked with
// GMEM_ZEROINIT comes zero-filled, and every block keeps its exact size, whether it takes a freed
// block's memory whole, cut to size, or fresh.
TEST_F(HandleTableTest, ReusedMemoryComesZeroFilledWhenAsked) {
  for (const std::size_t size : {std::size_t{65536}, std::size_t{300001}, std::size_t{5} << 20}) {
    for (const std::size_t next : {size, size - size / 3, size + 4096}) {
      const HGLOBAL dirty = GlobalAlloc(GMEM_MOVEABLE, size);
      auto* bytes = static_cast<unsigned char*>(GlobalLock(dirty));
      ASSERT_NE(bytes, nullptr);
      std::memset(bytes, 0xAB, size);
      GlobalUnlock(dirty);
      ASSERT_EQ(GlobalFree(dirty), 0u);
      const HGLOBAL clean = GlobalAlloc(GHND, next);
      EXPECT_EQ(GlobalSize(clean), next);
      auto* zeroed = static_cast<unsigned char*>(GlobalLock(clean));
      ASSERT_NE(zeroed, nullptr);
      std::size_t nonZero = 0;
      for (std::size_t i = 0; i < next; ++i) nonZero += zeroed[i] != 0;
      EXPECT_EQ(nonZero, 0u) << size << " then " << next;
      zeroed[next - 1] = 1;  // the whole size is there to write
      GlobalUnlock(clean);
      EXPECT_EQ(GlobalFree(clean), 0u);
    }
  }
}

// Slots are only reused once every index has been handed out (a table of 8 slots here, so the
// reuse comes within the test; the process's table has 4 M).
TEST_F(HandleTableTest, StaleHandlesNeverReachTheBlockThatReusedTheirSlot) {
  HandleTable table(kHeap, 8);
  const std::uint32_t old = table.alloc(GHND, 8);
  ASSERT_EQ(table.free(old), 0u);
  std::vector<std::uint32_t> blocks;
  bool reused = false;
  for (int i = 0; i < 100 && !reused; ++i) {
    blocks.push_back(table.alloc(GHND, 8));
    reused = (blocks.back() & HandleTable::kIndexMask) == (old & HandleTable::kIndexMask);
    if (!reused && i % 2 == 0) {
      table.free(blocks.back());
      blocks.pop_back();
    }
  }
  ASSERT_TRUE(reused) << "the slot was not reused";
  EXPECT_NE(blocks.back(), old);
  EXPECT_EQ(table.lock(old), nullptr);
  EXPECT_FALSE(table.unlock(old));
  EXPECT_EQ(table.free(old), old);
  EXPECT_EQ(table.flags(old), GMEM_INVALID_HANDLE);
  EXPECT_EQ(table.size(old), 0u);
  for (std::uint32_t block : blocks) EXPECT_EQ(table.free(block), 0u);
}

// A load/delete cycle that frees what it took: the first handle comes back only after every
// index has gone through every generation.
TEST_F(HandleTableTest, AFreedHandleNamesANewBlockOnlyAfterEverySlotAndGeneration) {
  constexpr std::uint32_t kSlots = 16;
  HandleTable table(kHeap, kSlots);
  const std::uint32_t first = table.alloc(GHND, 1);
  table.free(first);
  std::uint64_t cycles = 1;
  for (std::uint32_t h = table.alloc(GHND, 1); h != first; h = table.alloc(GHND, 1)) {
    ASSERT_NE(h, 0u);
    table.free(h);
    ++cycles;
  }
  table.free(first);
  const std::uint64_t generations = std::uint64_t{HandleTable::kGenerationMask} + 1;
  EXPECT_EQ(cycles, kSlots * generations);
  // The process's table: 4 194 303 slots x 1 024 generations = 4 294 966 272 cycles.
  EXPECT_EQ(std::uint64_t{HandleTable::kIndexMask} * generations, 4294966272u);
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

// The address index against a plain map, through adds and removes in random order, with
// addresses that crowd into few slots so that probe runs form and removals shift them.
TEST(AddressIndexTest, FindsEveryLiveAddressAndNoRemovedOne) {
  AddressIndex index;
  std::map<std::uintptr_t, std::uint32_t> live;
  std::mt19937 random(7);
  for (std::uint32_t handle = 1; handle < 20000; ++handle) {
    const std::uintptr_t address = (random() % 3000 + 1) * 8 * (random() % 2 != 0 ? 1 : 4096);
    const auto* key = reinterpret_cast<const void*>(address);
    if (live.count(address) != 0) {
      index.remove(key);
      live.erase(address);
    } else {
      ASSERT_TRUE(index.add(key, handle));
      live[address] = handle;
    }
    if (handle % 997 == 0) {
      for (std::uintptr_t k = 1; k <= 3000; ++k) {
        for (const std::uintptr_t a : {k * 8, k * 8 * 4096}) {
          const auto found = live.find(a);
          ASSERT_EQ(index.find(reinterpret_cast<const void*>(a)),
                    found == live.end() ? 0u : found->second)
              << a;
        }
      }
    }
  }
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
