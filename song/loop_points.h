// Loop points: the loops the file marks under each convention (found at load), the loop in
// force (chosen from them or set by the host), and the channel state at its start.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "song/channel_state.h"
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

// Sets song.foundLoops from the tracks' events; at load, before the song is registered.
void findLoops(Song& song, const Track* tracks);

// The loop from the host's points and styles, into song.loop, loopStyle and loopBlock. False
// when the restore block could not be made; then the song has no loop.
bool chooseLoop(Song& song);

// The host's calls: 0, or -1 for a handle that names no loaded song (and for points that make
// no loop).
std::int32_t setLoopStyle(platform::HGLOBAL song, std::uint32_t styles);
std::int32_t setLoopPoints(platform::HGLOBAL song, std::uint32_t startMs, std::uint32_t endMs);

// A copy of the loop in force; false when the song has none. Under the registry's lock.
bool copyLoop(platform::HGLOBAL song, LoopRestore& out);

}  // namespace quavr
