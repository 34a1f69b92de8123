// Reading one event of a track chunk: the variable-length quantity and the size rule. Both track
// passes read events only through these, so they always walk a chunk identically, and neither
// ever reads past `end`, the end of the image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/common/midi_message.h"

namespace quavr {

// The data bytes an event without a status byte takes: one after a program change or channel
// pressure, else two (also before any status was seen).
inline std::uint32_t runningStatusDataBytes(std::uint8_t runningStatus) {
  return platform::midiMessageLength(runningStatus) == 2 ? 1 : 2;
}

struct VarLen {
  std::uint32_t value;  // low 32 bits of the quantity
  std::uint32_t size;   // bytes it occupies
  // Not 0 when the quantity ends within the image. A word, not a bool: a bool between words kept
  // the compiler from holding the quantity in registers.
  std::uint32_t complete;
};

VarLen readVarLen(const std::uint8_t* at, const std::uint8_t* end);

// readVarLen with the quantities of one and two bytes, the most common, decided here without a
// call.
inline VarLen readShortVarLen(const std::uint8_t* at, const std::uint8_t* end) {
  // One branch for both sizes, taken alike whichever comes: their mix is as random as the music.
  if (end - at >= 2 && (at[0] & at[1] & 0x80) == 0) {
    const bool two = at[0] >= 0x80;
    return VarLen{two ? ((at[0] & 0x7Fu) << 7) | at[1] : at[0], two ? 2u : 1u, 1};
  }
  return readVarLen(at, end);
}

// What an event takes from the file and what it leaves in the data block: an optional status
// byte, then `copyCount` bytes copied from `copyFrom` bytes after the event's first byte, then
// zeros up to `expanded` bytes.
struct EventShape {
  std::uint32_t kind;
  std::uint32_t taken;
  std::uint32_t expanded;
  std::int32_t statusByte;  // -1: none written
  std::uint32_t copyFrom;
  std::uint32_t copyCount;
};

// The shape of the event starting at `at`; false when the event does not end before `end`.
// `runningStatus` is the walk's remembered status: every channel status sets it and a data byte
// in the place of a status byte takes it.
bool measureEvent(const std::uint8_t* at, const std::uint8_t* end, std::uint8_t& runningStatus,
                  EventShape& shape);

// The delta time and the shape of the event at `at`, as readVarLen and measureEvent give them;
// false when they do not end before `end`. The common cases, a delta of one or two bytes before
// a channel message, are decided here without a call: loads spend most of their time on them.
inline bool nextEvent(const std::uint8_t* at, const std::uint8_t* end, std::uint8_t& runningStatus,
                      VarLen& delta, EventShape& shape) {
  if (end - at >= 5 && (at[0] < 0x80 || at[1] < 0x80)) {
    const bool one = at[0] < 0x80;
    delta = one ? VarLen{at[0], 1, true} : VarLen{((at[0] & 0x7Fu) << 7) | at[1], 2, true};
    const std::uint8_t s = at[delta.size];
    if (s >= 0xF0) return measureEvent(at + delta.size, end, runningStatus, shape);
    const bool status = s >= 0x80;
    if (status) runningStatus = s;
    shape.kind = 0;
    shape.statusByte = runningStatus;
    shape.copyFrom = status ? 1 : 0;
    shape.copyCount = runningStatusDataBytes(runningStatus);
    shape.taken = shape.copyFrom + shape.copyCount;
    shape.expanded = 4;
    return true;
  }
  delta = readVarLen(at, end);
  return delta.complete && measureEvent(at + delta.size, end, runningStatus, shape);
}

// Writes the event's expanded bytes; `out` has room for shape.expanded bytes.
inline void writeEvent(const std::uint8_t* at, const EventShape& shape, std::uint8_t* out) {
  if (shape.kind == 0) {  // a channel message: always four bytes
    out[0] = static_cast<std::uint8_t>(shape.statusByte);
    out[1] = at[shape.copyFrom];
    out[2] = shape.copyCount == 2 ? at[shape.copyFrom + 1] : 0;
    out[3] = 0;
    return;
  }
  std::uint32_t written = 0;
  if (shape.statusByte >= 0) out[written++] = static_cast<std::uint8_t>(shape.statusByte);
  if (shape.copyCount != 0) std::memcpy(out + written, at + shape.copyFrom, shape.copyCount);
  written += shape.copyCount;
  if (written < shape.expanded) std::memset(out + written, 0, shape.expanded - written);
}

}  // namespace quavr
