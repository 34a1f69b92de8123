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
  if (index == 0 || index >= slots_.size()) return nullptr;
  Slot& slot = slots_[index];
  if (!slot.used || slot.generation != (handle >> kIndexBits)) return nullptr;
  return &slot;
}

std::uint32_t HandleTable::alloc(std::uint32_t flags, std::size_t bytes) {
  if (bytes > 0xFFFFFFFFu) return 0;  // blocks are sized in 32 bits, as on the original platform
  const bool unzeroed = (flags & GMEM_ZEROINIT) == 0 && memory_.allocateUnzeroed != nullptr &&
                        memory_.releaseUnzeroed != nullptr;
  void* data = unzeroed ? memory_.allocateUnzeroed(bytes) : memory_.allocate(bytes);
  if (data == nullptr) return 0;
  std::lock_guard guard(mutex_);
  std::uint32_t index;
  if (slots_.size() <= lastIndex_) {
    index = static_cast<std::uint32_t>(slots_.size());
    slots_.emplace_back();
  } else if (!freeSlots_.empty()) {
    index = freeSlots_.front();
    freeSlots_.pop_front();
  } else {
    (unzeroed ? memory_.releaseUnzeroed : memory_.release)(data, bytes);
    return 0;
  }
  Slot& slot = slots_[index];
  slot.data = data;
  slot.size = static_cast<std::uint32_t>(bytes);
  slot.lockCount = 0;
  slot.flags = static_cast<std::uint16_t>(flags & (GMEM_MOVEABLE | GMEM_DDESHARE));
  slot.used = true;
  slot.unzeroed = unzeroed;
  const std::uint32_t handle = (std::uint32_t{slot.generation} << kIndexBits) | index;
  byAddress_[data] = handle;
  ++live_;
  return handle;
}

void* HandleTable::lock(std::uint32_t handle) {
  std::lock_guard guard(mutex_);
  Slot* slot = find(handle);
  if (slot == nullptr) return nullptr;
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
    byAddress_.erase(data);
    *slot =
        Slot{.generation = static_cast<std::uint16_t>((slot->generation + 1) & kGenerationMask)};
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
  return count | (slot->flags & GMEM_DDESHARE);
}

std::size_t HandleTable::size(std::uint32_t handle) {
  std::lock_guard guard(mutex_);
  Slot* slot = find(handle);
  return slot == nullptr ? 0 : slot->size;
}

std::uint32_t HandleTable::handleOf(const void* address) {
  std::lock_guard guard(mutex_);
  auto it = byAddress_.find(address);
  return it == byAddress_.end() ? 0 : it->second;
}

std::size_t HandleTable::liveBlocks() {
  std::lock_guard guard(mutex_);
  return live_;
}

}  // namespace quavr::platform
