// Global memory blocks behind 32-bit handles. A handle is a slot index and a generation, so a
// freed or forged handle resolves to nothing instead of to someone else's memory. Thread-safe.
// It knows no operating system, so the test fake uses it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace quavr::platform {

// Where a table's memory comes from. Blocks must come zero-filled.
struct BlockMemory {
  void* (*allocate)(std::size_t bytes);
  void (*release)(void* data, std::size_t bytes);
};

class HandleTable {
 public:
  explicit HandleTable(BlockMemory memory = {callocBlock, freeBlock}) : memory_(memory) {}

  // 0 when the block cannot be made. Every block is zero-filled.
  std::uint32_t alloc(std::uint32_t flags, std::size_t bytes);
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

  struct Slot {
    void* data = nullptr;
    std::size_t size = 0;
    std::uint32_t generation = 0;
    std::uint32_t lockCount = 0;
    std::uint32_t flags = 0;
    bool used = false;
  };
  // The slot a handle names while its block lives, else null. Caller holds mutex_.
  Slot* find(std::uint32_t handle);

  BlockMemory memory_;
  std::mutex mutex_;
  std::vector<Slot> slots_ = std::vector<Slot>(1);  // index 0 stays unused: handle 0 is invalid
  std::deque<std::uint32_t>
      freeSlots_;  // oldest first, so a stale handle meets a new generation late
  std::unordered_map<const void*, std::uint32_t> byAddress_;
  std::size_t live_ = 0;
};

}  // namespace quavr::platform
