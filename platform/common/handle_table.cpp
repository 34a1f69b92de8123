#include "platform/common/handle_table.h"

#include <cstdlib>

#include "platform/platform.h"

namespace quavr::platform {

void* HandleTable::callocBlock(std::size_t bytes) {
  return std::calloc(1, bytes);
}
void HandleTable::freeBlock(void* data, std::size_t) {
  std::free(data);
}

HandleTable::Slot* HandleTable::find(std::uint32_t handle) {
  const std::uint32_t index = handle & kIndexMask;
  if (index == 0 || index >= slotCount_) return nullptr;
  Slot& s = slot(index);
  if (!s.used || s.generation != (handle >> kIndexBits)) return nullptr;
  return &s;
}

std::uint32_t HandleTable::takeIndex() {
  if (slotCount_ <= lastIndex_) {
    if ((slotCount_ >> kChunkBits) == chunks_.size()) {
      auto chunk = std::unique_ptr<Slot[]>(new (std::nothrow) Slot[std::size_t{1} << kChunkBits]);
      if (!chunk) return 0;
      chunks_.push_back(std::move(chunk));
    }
    return slotCount_++;
  }
  if (freeSlots_.empty()) return 0;
  const std::uint32_t index = freeSlots_.front();
  freeSlots_.pop_front();
  return index;
}

std::uint32_t HandleTable::alloc(std::uint32_t flags, std::size_t bytes) {
  if (bytes > 0xFFFFFFFFu) return 0;  // blocks are sized in 32 bits, as on the original platform
  const bool unzeroed = (flags & GMEM_ZEROINIT) == 0 && memory_.allocateUnzeroed != nullptr &&
                        memory_.releaseUnzeroed != nullptr;
  void* data = unzeroed ? memory_.allocateUnzeroed(bytes) : memory_.allocate(bytes);
  if (data == nullptr) return 0;
  std::lock_guard guard(mutex_);
  const std::uint32_t index = takeIndex();
  const std::uint32_t handle =
      index == 0 ? 0 : (std::uint32_t{slot(index).generation} << kIndexBits) | index;
  if (handle == 0 || !byAddress_.add(data, handle)) {
    if (index != 0) freeSlots_.push_front(index);
    (unzeroed ? memory_.releaseUnzeroed : memory_.release)(data, bytes);
    return 0;
  }
  Slot& s = slot(index);
  s.data = data;
  s.size = static_cast<std::uint32_t>(bytes);
  s.lockCount = 0;
  s.shared = (flags & GMEM_DDESHARE) != 0;
  s.used = true;
  s.unzeroed = unzeroed;
  ++live_;
  return handle;
}

void* HandleTable::lock(std::uint32_t handle) {
  std::lock_guard guard(mutex_);
  Slot* slot = find(handle);
  if (slot == nullptr || slot->lockCount == 0xFFFF || (slot->size == 0 && !slot->shared)) {
    return nullptr;
  }
  ++slot->lockCount;
  return slot->data;
}

bool HandleTable::unlock(std::uint32_t handle) {
  std::lock_guard guard(mutex_);
  Slot* slot = find(handle);
  if (slot == nullptr || slot->lockCount == 0) return false;
  return --slot->lockCount != 0;
}

std::uint32_t HandleTable::free(std::uint32_t handle) {
  if (handle == 0) return 0;
  void* data;
  std::size_t size;
  bool unzeroed;
  {
    std::lock_guard guard(mutex_);
    Slot* slot = find(handle);
    // A resolved block has a user holding its address: freeing it would leave that user dangling.
    if (slot == nullptr || slot->lockCount != 0) return handle;
    data = slot->data;
    size = slot->size;
    unzeroed = slot->unzeroed;
    byAddress_.remove(data);
    const auto next = static_cast<std::uint16_t>((slot->generation + 1) & kGenerationMask);
    *slot = Slot{};
    slot->generation = next;
    freeSlots_.push_back(handle & kIndexMask);
    --live_;
  }
  (unzeroed ? memory_.releaseUnzeroed : memory_.release)(data, size);
  return 0;
}

std::uint32_t HandleTable::flags(std::uint32_t handle) {
  std::lock_guard guard(mutex_);
  Slot* slot = find(handle);
  if (slot == nullptr) return GMEM_INVALID_HANDLE;
  const std::uint32_t count = slot->lockCount > GMEM_LOCKCOUNT ? GMEM_LOCKCOUNT : slot->lockCount;
  return count | (slot->shared ? GMEM_DDESHARE : 0);
}

std::size_t HandleTable::size(std::uint32_t handle) {
  std::lock_guard guard(mutex_);
  Slot* slot = find(handle);
  return slot == nullptr ? 0 : slot->size;
}

std::uint32_t HandleTable::handleOf(const void* address) {
  std::lock_guard guard(mutex_);
  return byAddress_.find(address);
}

std::size_t HandleTable::liveBlocks() {
  std::lock_guard guard(mutex_);
  return live_;
}

}  // namespace quavr::platform
