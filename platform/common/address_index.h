// The handle of each live block by its address, for GlobalHandle. One flat table with linear
// probing: adding and removing a block allocates nothing, which a map with a node per entry
// would, on every GlobalAlloc and GlobalFree. Not thread-safe: the handle table's lock guards it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace quavr::platform {

class AddressIndex {
 public:
  // False when the table could not grow: the address is then not indexed.
  bool add(const void* address, std::uint32_t handle) {
    if ((count_ + 1) * 4 > entries_.size() * 3 && !grow()) return false;
    place(address, handle);
    ++count_;
    return true;
  }

  void remove(const void* address) {
    if (entries_.empty()) return;
    std::size_t at = slotOf(address);
    while (entries_[at].address != address) {
      if (entries_[at].address == nullptr) return;
      at = (at + 1) & mask();
    }
    // Backward shift: later entries of the probe run move up, so no lookup stops early.
    for (std::size_t next = (at + 1) & mask();; next = (next + 1) & mask()) {
      const Entry& moved = entries_[next];
      if (moved.address == nullptr) break;
      const std::size_t home = slotOf(moved.address);
      if (((next - home) & mask()) >= ((next - at) & mask())) {
        entries_[at] = moved;
        at = next;
      }
    }
    entries_[at] = Entry{};
    --count_;
  }

  // 0 when the address is no block's.
  std::uint32_t find(const void* address) const {
    if (entries_.empty() || address == nullptr) return 0;
    for (std::size_t at = slotOf(address);; at = (at + 1) & mask()) {
      if (entries_[at].address == address) return entries_[at].handle;
      if (entries_[at].address == nullptr) return 0;
    }
  }

 private:
  struct Entry {
    const void* address = nullptr;
    std::uint32_t handle = 0;
  };

  std::size_t mask() const { return entries_.size() - 1; }
  std::size_t slotOf(const void* address) const {
    // Each 4 KB page of memory owns a run of 256 slots that starts wherever its number hashes
    // to: blocks made one after another fill the same part of the table, while pages far or
    // near spread over all of it, so probe runs stay short.
    const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(address));
    const std::uint64_t page = ((bits >> 12) * 0x9E3779B97F4A7C15u) >> 32;
    return static_cast<std::size_t>(page + ((bits >> 4) & 255)) & mask();
  }
  void place(const void* address, std::uint32_t handle) {
    std::size_t at = slotOf(address);
    while (entries_[at].address != nullptr) at = (at + 1) & mask();
    entries_[at] = Entry{address, handle};
  }
  bool grow() {
    const std::size_t size = entries_.empty() ? 64 : entries_.size() * 2;
    std::vector<Entry> old;
    try {
      old = std::exchange(entries_, std::vector<Entry>(size));
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (const Entry& e : old)
      if (e.address != nullptr) place(e.address, e.handle);
    return true;
  }

  std::vector<Entry> entries_;
  std::size_t count_ = 0;
};

}  // namespace quavr::platform
