// An allocator over blocks, for the large arrays a load works in: they come and go as the song's
// own blocks do (on Linux a large block is kept for the next load instead of faulted in afresh each
// time), and one left behind shows in the handle table as any block does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/platform.h"

namespace quavr {

template <class T>
struct BlockAllocator {
  using value_type = T;

  BlockAllocator() = default;
  template <class U>
  BlockAllocator(const BlockAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    const platform::HGLOBAL block =
        platform::GlobalAlloc(platform::GMEM_MOVEABLE, count * sizeof(T));
    void* data = block == 0 ? nullptr : platform::GlobalLock(block);
    if (data == nullptr) {
      platform::GlobalFree(block);
      throw std::bad_alloc();
    }
    return static_cast<T*>(data);
  }
  void deallocate(T* data, std::size_t) noexcept {
    const platform::HGLOBAL block = platform::GlobalHandle(data);
    platform::GlobalUnlock(block);
    platform::GlobalFree(block);
  }

  template <class U>
  bool operator==(const BlockAllocator<U>&) const noexcept {
    return true;
  }
};

template <class T>
using BlockVector = std::vector<T, BlockAllocator<T>>;

}  // namespace quavr
