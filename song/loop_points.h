// Loop points: the loops the file marks under each convention (found at load), the loop in
// force (chosen from them or set by the host), and the channel state at its start.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "song/channel_state.h"
#include "song/meta_text.h"
#include "song/records.h"

namespace quavr {

// The conventions in the order that decides when several are enabled and present.
inline constexpr int kLoopConventions = 3;
// The style bit of convention i (QUAVR_LOOP_MARKERS, QUAVR_LOOP_CC116_117, QUAVR_LOOP_CC111).
std::uint32_t loopStyleBit(int convention);

// What a jump to the loop start restores: each channel as it stands at the loop start, and what
// the loop itself changes.
struct LoopRestore {
  LoopPoints loop;
  ChannelState channels[16];
};

// An event that may mark a loop under some convention: a control change 111, 116 or 117, or a
// text or marker event. The expansion notes these, so that finding the loops walks only them.
inline bool mayMarkLoop(std::uint32_t kind, const std::uint8_t* expanded) {
  if (kind == kChannelEvent)
    return (expanded[0] & 0xF0) == 0xB0 &&
           (expanded[1] == 111 || expanded[1] == 116 || expanded[1] == 117);
  return kind == kMetaEvent && (expanded[1] == kMetaText || expanded[1] == kMetaMarker);
}
struct EventRef {
  std::uint32_t track, index;
};

// Sets song.foundLoops from the events that may mark loops, in track then event order; at load,
// once the events are timed, before the song is registered.
void findLoops(Song& song, const Track* tracks, const std::vector<EventRef>& candidates);

// The loop from the host's points and styles, into song.loop, loopStyle and loopBlock. False
// when the restore block could not be made; then the song has no loop.
bool chooseLoop(Song& song);

// The host's calls: 0, or -1 for a handle that names no loaded song (and for points that make
// no loop).
std::int32_t setLoopStyle(platform::HGLOBAL song, std::uint32_t styles);
std::int32_t setLoopPoints(platform::HGLOBAL song, std::uint32_t startMs, std::uint32_t endMs);

// A copy of the loop in force; false when the song has none. Under the registry's lock.
bool copyLoop(platform::HGLOBAL song, LoopRestore& out);
// The points alone of the loop in force; kNoLoop in both when there is none.
LoopPoints loopInForce(platform::HGLOBAL song);

}  // namespace quavr
