// A growable array of plain values in a block of its own, for the large arrays a load works in:
// their memory comes and goes as the song's blocks do (on Linux a large block is kept for the next
// load instead of faulted in afresh), and one left behind shows in the handle table. Nothing
// throws: a block that cannot be made leaves the array as it was and failed() true.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <utility>

#include "base/block.h"
#include "platform/platform.h"

namespace quavr {

template <class T>
class BlockArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  BlockArray() = default;
  ~BlockArray() { release(); }
  BlockArray(const BlockArray&) = delete;
  BlockArray& operator=(const BlockArray&) = delete;

  T* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) const { return data_[i]; }
  T* begin() const { return data_; }
  T* end() const { return data_ + size_; }
  bool failed() const { return failed_; }

  // Room for `count` values in all without another block.
  bool reserve(std::size_t count) {
    if (count <= capacity_) return true;
    if (count > SIZE_MAX / sizeof(T)) return fail();
    const platform::HGLOBAL block =
        platform::GlobalAlloc(platform::GMEM_MOVEABLE, count * sizeof(T));
    T* data = block == 0 ? nullptr : static_cast<T*>(platform::GlobalLock(block));
    if (data == nullptr) {
      platform::GlobalFree(block);
      return fail();
    }
    if (size_ != 0) std::memcpy(data, data_, size_ * sizeof(T));
    release();
    block_ = block;
    data_ = data;
    capacity_ = count;
    return true;
  }
  bool push_back(const T& value) {
    if (size_ == capacity_ && !grow(1)) return false;
    data_[size_++] = value;
    return true;
  }
  // `count` more values, left for the caller to write; null when there is no room.
  T* extend(std::size_t count) {
    if (capacity_ - size_ < count && !grow(count)) return nullptr;
    T* added = data_ + size_;
    size_ += count;
    return added;
  }
  // `count` zeros in place of what it held.
  bool assignZeros(std::size_t count) {
    size_ = 0;
    if (extend(count) == nullptr) return false;
    if (count != 0) std::memset(data_, 0, count * sizeof(T));
    return true;
  }
  void swap(BlockArray& other) noexcept {
    std::swap(block_, other.block_);
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(failed_, other.failed_);
  }

 private:
  bool grow(std::size_t more) {
    if (SIZE_MAX - size_ < more) return fail();
    const std::size_t doubled = capacity_ > SIZE_MAX / 2 ? SIZE_MAX : capacity_ * 2;
    return reserve(std::max({size_ + more, doubled, std::size_t{16}}));
  }
  bool fail() {
    failed_ = true;
    return false;
  }
  void release() {
    if (block_ == 0) return;
    platform::GlobalUnlock(block_);
    platform::GlobalFree(block_);
    block_ = 0;
    data_ = nullptr;
    capacity_ = 0;
  }

  platform::HGLOBAL block_ = 0;
  T* data_ = nullptr;
  std::size_t size_ = 0, capacity_ = 0;
  bool failed_ = false;
};

}  // namespace quavr
