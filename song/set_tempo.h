// The set-tempo meta event (FF 51 03 tt tt tt), as the timing pass and every reader of a song's
// tempo changes recognise it.
#pragma once

#include <cstdint>

#include "song/records.h"

namespace quavr {

inline constexpr std::uint32_t kDefaultUsPerQuarter = 500000;
inline constexpr std::uint8_t kSetTempoType = 0x51;

// A meta event of type 0x51, whatever length it was stored with.
inline bool isSetTempo(const Event& event, const std::uint8_t* data) {
  return event.kind == kMetaEvent && event.length >= 2 && data[event.offset + 1] == kSetTempoType;
}

// Microseconds per quarter note: the three bytes after the type and one length byte, big-endian.
// An event stored with a shorter length reads on into the bytes after it; bytes past the end of
// the track's block read as 0.
inline std::uint32_t tempoOf(const Event& event, const std::uint8_t* data, std::uint32_t dataSize) {
  std::uint32_t tempo = 0;
  for (std::uint32_t i = 3; i < 6; ++i) {
    const std::uint64_t at = std::uint64_t{event.offset} + i;
    tempo = (tempo << 8) | (at < dataSize ? data[at] : 0);
  }
  return tempo;
}

}  // namespace quavr
