// The set of live objects of one kind, keyed by handle, so that an export can tell a handle it
// made from a stale, foreign or forged one before touching any memory.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace quavr {

template <class Value>
class Registry {
 public:
  void add(std::uint32_t handle, Value value) {
    std::lock_guard guard(mutex_);
    entries_.insert_or_assign(handle, std::move(value));
  }
  void remove(std::uint32_t handle) {
    std::lock_guard guard(mutex_);
    entries_.erase(handle);
  }
  // Runs fn(value) under the registry's lock when the handle is registered; the entry is removed
  // when fn returns true. False when the handle is not registered.
  template <class Fn>
  bool visit(std::uint32_t handle, Fn&& fn) {
    std::lock_guard guard(mutex_);
    auto it = entries_.find(handle);
    if (handle == 0 || it == entries_.end()) return false;
    if (fn(it->second)) entries_.erase(it);
    return true;
  }
  // The value registered for the handle, or a default value.
  Value find(std::uint32_t handle) {
    std::lock_guard guard(mutex_);
    auto it = entries_.find(handle);
    return it == entries_.end() ? Value{} : it->second;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::uint32_t, Value> entries_;
};

}  // namespace quavr
