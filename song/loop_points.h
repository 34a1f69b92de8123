// Loop points: the loops in force, chosen from the file's marks under the host's styles (or set
// by the host), each with the channel state at its start, and what the clock copies of them.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "song/channel_state.h"
#include "song/loop_marks.h"
#include "song/records.h"

namespace quavr {

// What a jump to a loop's start restores: each channel as it stands at the loop start, and what
// the loop itself changes.
struct LoopRestore {
  LoopPoints loop;
  ChannelState channels[16];
};

// One loop in force.
struct LoopEntry {
  LoopRestore restore;
  std::int32_t repeats;     // passes after the first: -1 forever
  std::uint32_t fileCount;  // as the file writes it, 0 forever
  std::uint32_t style;      // the QUAVR_LOOP_ bit that set it; 0 for the host's
};

// What the clock keeps of a loop.
struct LoopSpan {
  std::uint32_t startMs, endMs;
  std::int32_t repeats;
  std::uint32_t style;
};

// Notes the song's marks and markers from the candidates (track then event order) and leaves it
// with no loop; at load, once the events are timed. False when a block could not be made.
bool findLoops(Song& song, const Track* tracks, const std::vector<EventRef>& candidates);

// The loops from the host's points and styles, into the song's loop table, and each track's
// flags; at load. False when the table could not be made; the loops then stay as they were.
bool chooseLoop(Song& song);

// The host's calls: 0, or -1 for a handle that names no loaded song, points that make no loop,
// or no block for the table (the loops then stay as they were). The table is built with no lock
// held and swapped in, so that playing devices wait for the swap only.
std::int32_t setLoopStyle(platform::HGLOBAL song, std::uint32_t styles);
std::int32_t setLoopPoints(platform::HGLOBAL song, std::uint32_t startMs, std::uint32_t endMs);

// The spans of the loops in force (at most kMaxLoops) and the table's version; the count, or
// kNoLoop when the handle names no loaded song. Under the registry's lock.
std::uint32_t copyLoopSpans(platform::HGLOBAL song, LoopSpan* out, std::uint32_t& version);
// A copy of loop `index` of table `version`; false when the table changed or has no such loop.
bool copyLoop(platform::HGLOBAL song, std::uint32_t version, std::uint32_t index, LoopRestore& out);

}  // namespace quavr
