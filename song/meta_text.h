// The texts of a track's meta events, stored whole in its data block: FF, the type, the length
// as a variable-length quantity, then the bytes.
#pragma once

#include <cstdint>

#include "base/block.h"
#include "song/records.h"
#include "song/track_events.h"

namespace quavr {

inline constexpr std::uint8_t kMetaText = 0x01;
inline constexpr std::uint8_t kMetaCopyright = 0x02;
inline constexpr std::uint8_t kMetaTrackName = 0x03;
inline constexpr std::uint8_t kMetaLyric = 0x05;
inline constexpr std::uint8_t kMetaMarker = 0x06;

struct MetaText {
  std::uint8_t type;
  const std::uint8_t* bytes;
  std::uint32_t size;
};

// The text of a meta event whose stored bytes are `data`; false when it is not one.
inline bool metaTextOf(const Event& event, const std::uint8_t* data, MetaText& text) {
  if (event.kind != kMetaEvent || event.length < 3) return false;
  const std::uint8_t* at = data + event.offset;
  const VarLen length = readVarLen(at + 2, at + event.length);
  if (!length.complete || length.value > event.length - 2 - length.size) return false;
  text = {at[1], at + 2 + length.size, length.value};
  return true;
}

// Calls fn(event, text) for each meta event of the track, in order, until fn returns false.
// The track's blocks are resolved meanwhile.
template <class Fn>
void forEachMetaText(const Track& track, Fn&& fn) {
  if (track.eventCount == 0) return;
  Resolved<Event> events(track.eventBlock);
  Resolved<std::uint8_t> data(track.dataBlock);
  if (!events || !data) return;
  for (std::uint32_t i = 0; i < track.eventCount; ++i) {
    MetaText text;
    if (metaTextOf(events[i], data.get(), text) && !fn(events[i], text)) return;
  }
}

}  // namespace quavr
