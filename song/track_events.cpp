#include "song/track_events.h"

#include "song/records.h"

namespace quavr {

VarLen readVarLen(const std::uint8_t* at, const std::uint8_t* end) {
  VarLen q{0, 0, false};
  while (at + q.size < end) {
    const std::uint8_t byte = at[q.size++];
    q.value = (q.value << 7) | (byte & 0x7F);
    if ((byte & 0x80) == 0) {
      q.complete = true;
      break;
    }
  }
  return q;
}

namespace {

// An event with a length field at `field`: `fixed` bytes before it, `total` bytes in all.
bool measureLengthEvent(const std::uint8_t* at, const std::uint8_t* end, std::uint32_t fixed,
                        EventShape& shape) {
  if (end - at < static_cast<std::ptrdiff_t>(fixed)) return false;
  const VarLen length = readVarLen(at + fixed, end);
  const std::uint64_t taken = std::uint64_t{fixed} + length.size + length.value;
  if (!length.complete || taken > static_cast<std::uint64_t>(end - at)) return false;
  shape.taken = static_cast<std::uint32_t>(taken);
  shape.copyFrom = fixed + length.size;
  shape.copyCount = length.value;
  return true;
}

}  // namespace

bool measureEvent(const std::uint8_t* at, const std::uint8_t* end, std::uint8_t& runningStatus,
                  EventShape& shape) {
  if (at >= end) return false;
  const std::uint8_t s = at[0];
  shape.statusByte = -1;
  switch (s) {
    case 0xFF:  // meta: kept whole, as in the file
      if (!measureLengthEvent(at, end, 2, shape)) return false;
      shape.kind = kMetaEvent;
      shape.copyFrom = 0;
      shape.copyCount = shape.expanded = shape.taken;
      return true;
    case 0xF0:  // system exclusive: F0, then the data without its length field
      if (!measureLengthEvent(at, end, 1, shape)) return false;
      shape.kind = kSysexEvent;
      shape.statusByte = 0xF0;
      shape.expanded = shape.copyCount + 1;
      return true;
    case 0xF7:  // escape: the data alone
      if (!measureLengthEvent(at, end, 1, shape)) return false;
      shape.kind = kEscapeEvent;
      shape.expanded = shape.copyCount;
      return true;
    default:
      break;
  }
  std::uint32_t taken;
  if (s >= 0x80) {
    // A system message in a track has no length of its own there: it takes two bytes.
    taken = s < 0xF0 ? platform::midiMessageLength(s) : 2;
    if (s < 0xF0) runningStatus = s;
    shape.statusByte = s;
    shape.copyFrom = 1;
    shape.copyCount = taken - 1;
  } else {
    taken = runningStatusDataBytes(runningStatus);
    shape.statusByte = runningStatus;
    shape.copyFrom = 0;
    shape.copyCount = taken;
  }
  if (taken > static_cast<std::uint64_t>(end - at)) return false;
  shape.kind = kChannelEvent;
  shape.taken = taken;
  shape.expanded = 4;
  return true;
}

}  // namespace quavr
