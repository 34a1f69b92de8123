// Global memory blocks behind 32-bit handles. A handle is a slot index and a generation, so a
// freed or forged handle resolves to nothing instead of to someone else's memory. Never-used
// slots are handed out first and freed ones only once there are none left, oldest first: a
// handle value comes back only after (slots - 1) x generations allocations, over four billion.
// Thread-safe.
// It knows no operating system, so the test fake uses it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/common/address_index.h"

namespace quavr::platform {

// Where a table's memory comes from. `allocate` gives zero-filled blocks; `allocateUnzeroed`, if
// given, blocks whose bytes are unspecified, for callers that do not ask for GMEM_ZEROINIT; those
// go back through `releaseUnzeroed`.
struct BlockMemory {
  void* (*allocate)(std::size_t bytes);
  void (*release)(void* data, std::size_t bytes);
  void* (*allocateUnzeroed)(std::size_t bytes) = nullptr;
  void (*releaseUnzeroed)(void* data, std::size_t bytes) = nullptr;
};

class HandleTable {
 public:
  // `lastIndex` bounds the slots (tests use small tables to see a whole cycle).
  explicit HandleTable(BlockMemory memory = {callocBlock, freeBlock},
                       std::uint32_t lastIndex = kIndexMask)
      : memory_(memory), lastIndex_(lastIndex < kIndexMask ? lastIndex : kIndexMask) {}

  // 0 when the block cannot be made. Zero-filled when the flags ask for GMEM_ZEROINIT or the
  // memory has no other way.
  std::uint32_t alloc(std::uint32_t flags, std::size_t bytes);
  // Null past 65 535 nested locks of one block, and for a block of no bytes that is not
  // GMEM_DDESHARE: as on Windows, such a movable block is discarded from the start.
  void* lock(std::uint32_t handle);
  bool unlock(std::uint32_t handle);
  // 0 when freed; the handle when it names no block or the block is still resolved.
  std::uint32_t free(std::uint32_t handle);
  std::uint32_t flags(std::uint32_t handle);
  std::size_t size(std::uint32_t handle);
  std::uint32_t handleOf(const void* address);
  std::size_t liveBlocks();

  static constexpr unsigned kIndexBits = 22;
  static constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
  static constexpr std::uint32_t kGenerationMask = (1u << (32 - kIndexBits)) - 1;

 private:
  static void* callocBlock(std::size_t bytes);
  static void freeBlock(void* data, std::size_t bytes);

  // Kept small: a table that has handed out every index holds 4 M of them.
  struct Slot {
    void* data = nullptr;
    std::uint32_t size = 0;
    std::uint16_t lockCount = 0;
    std::uint16_t generation : 10 = 0;
    std::uint16_t shared : 1 = 0;  // GMEM_DDESHARE
    std::uint16_t used : 1 = 0;
    std::uint16_t unzeroed : 1 = 0;  // its memory came from allocateUnzeroed
  };
  static_assert(sizeof(void*) > 4 || sizeof(Slot) == 12);
  static_assert(sizeof(void*) == 4 || sizeof(Slot) == 16);
  // Slots come in chunks that never move, so the table grows without copying what it holds.
  static constexpr unsigned kChunkBits = 12;
  Slot& slot(std::uint32_t index) {
    return chunks_[index >> kChunkBits][index & ((1u << kChunkBits) - 1)];
  }
  // The slot a handle names while its block lives, else null. Caller holds mutex_.
  Slot* find(std::uint32_t handle);
  // A never-used slot, else the oldest freed one; 0 when every index is taken.
  std::uint32_t takeIndex();

  BlockMemory memory_;
  std::uint32_t lastIndex_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Slot[]>> chunks_;
  std::uint32_t slotCount_ = 1;          // index 0 stays unused: handle 0 is invalid
  std::deque<std::uint32_t> freeSlots_;  // oldest first
  AddressIndex byAddress_;
  std::size_t live_ = 0;
};

// The table behind the seam's global memory (table_memory.cpp), on the platforms whose own
// blocks do not fit 32-bit handles: Linux and 64-bit Windows each define it.
HandleTable& blockTable();

}  // namespace quavr::platform
