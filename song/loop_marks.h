// Loop marks: the events some loop convention may read as a loop's start or end, and the
// markers the clock reports, noted at load so that neither the loop search nor the clock walks
// every event.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "song/meta_text.h"
#include "song/records.h"

namespace quavr {

// A mark: a control change (`what` its number) or a loop text.
inline constexpr std::uint32_t kTextLoopStart = 256;  // `value`: its count, 0 forever
inline constexpr std::uint32_t kTextLoopEnd = 257;
struct LoopMark {
  std::uint32_t timeMs;
  std::uint32_t track;
  std::uint32_t what;
  std::uint32_t value;
  std::uint32_t atTrackStart;  // at the track's tick 0
};

// An event that may be a mark or a marker: a control change 2 or 4 of value 0, 110, 111 or 116
// to 119, or a text or marker event. The expansion notes these.
inline bool mayMarkLoop(std::uint32_t kind, const std::uint8_t* expanded) {
  if (kind == kChannelEvent) {
    if ((expanded[0] & 0xF0) != 0xB0) return false;
    const std::uint8_t n = expanded[1];
    return ((n == 2 || n == 4) && expanded[2] == 0) || n == 110 || n == 111 ||
           (n >= 116 && n <= 119);
  }
  return kind == kMetaEvent && (expanded[1] == kMetaText || expanded[1] == kMetaMarker);
}
struct EventRef {
  std::uint32_t track, index;
};

// What a text says as a loop mark: kTextLoopStart ("loopStart", or "loopStart=N" with N more
// passes), kTextLoopEnd ("loopEnd"), in any case; 0 when nothing.
std::uint32_t loopTextOf(const MetaText& text, std::uint32_t& count);

// The index, as QUAVR_TEXT_MARKER counts, of the marker that is event `index` of `track`;
// 0xFFFFFFFF when it is none.
std::uint32_t markerIndex(const Song& song, std::uint32_t track, std::uint32_t index);

// Sets the song's marks and markers from the candidates, in track then event order; at load,
// once the events are timed. False when a block could not be made.
bool noteLoopMarks(Song& song, const Track* tracks, const std::vector<EventRef>& candidates);

}  // namespace quavr
