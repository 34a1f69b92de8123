// Values that several threads read and write (a device's state, clock, results, a bound song's
// cursors, uMidiStatus) stay plain 32-bit record fields; every access goes through these.
#pragma once

#include <atomic>

namespace quavr {

template <class T>
T load(T& value) {
  return std::atomic_ref<T>(value).load(std::memory_order_relaxed);
}

template <class T, class U>
void store(T& value, U newValue) {
  std::atomic_ref<T>(value).store(static_cast<T>(newValue), std::memory_order_relaxed);
}

}  // namespace quavr
