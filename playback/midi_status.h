// The process-wide last MIDI result, uMidiStatus: written by opening and closing a device and by
// every event a tick sends, read by any thread.
#pragma once

#include <cstdint>

#include "base/shared_value.h"
#include "include/quavr.h"

namespace quavr {

inline void setMidiStatus(std::uint32_t result) {
  store(uMidiStatus, result);
}
inline std::uint32_t midiStatus() {
  return load(uMidiStatus);
}

}  // namespace quavr
