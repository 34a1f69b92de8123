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
// Sets the result with a text of its own, which bgmGetMidiErrorText gives while the result holds
// ("" for the result's standard text).
void setMidiStatus(std::uint32_t result, const char* text);
// The text of uMidiStatus, as bgmGetMidiErrorText writes it.
std::uint32_t midiErrorText(char* buffer, std::uint32_t size);

}  // namespace quavr
