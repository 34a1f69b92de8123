// The process-wide last MIDI result, shared by every device and thread.
#pragma once

#include <cstdint>

#include "include/quavr.h"
#include "interface/shared_value.h"

namespace quavr {

inline void setMidiStatus(std::uint32_t result) {
  store(uMidiStatus, result);
}
inline std::uint32_t midiStatus() {
  return load(uMidiStatus);
}

}  // namespace quavr
