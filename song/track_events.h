// Reading one event of a track chunk: the variable-length quantity and the size rule. Both track
// passes read events only through these, so they always walk a chunk identically, and neither
// ever reads past `end`, the end of the image.
#pragma once

#include <cstdint>

namespace quavr {

struct VarLen {
  std::uint32_t value;  // low 32 bits of the quantity
  std::uint32_t size;   // bytes it occupies
  bool complete;        // false when the image ends inside it
};

VarLen readVarLen(const std::uint8_t* at, const std::uint8_t* end);

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

// Writes the event's expanded bytes; `out` has room for shape.expanded bytes.
void writeEvent(const std::uint8_t* at, const EventShape& shape, std::uint8_t* out);

}  // namespace quavr
