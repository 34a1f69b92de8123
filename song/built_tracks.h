// Tracks built in memory by the loaders of formats whose events are not an SMF's: each loader
// appends its events here in time order, and storeTracks gives the song the same records an SMF
// load makes, every event timed at the format's fixed tick rate.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "song/loop_points.h"
#include "song/records.h"

namespace quavr {

struct BuiltTrack {
  std::vector<Event> events;  // tick, kind and the bytes' place in `data`; timed when stored
  std::vector<std::uint8_t> data;

  void channel(std::uint32_t tick, std::uint8_t status, std::uint8_t first,
               std::uint8_t second = 0) {
    events.push_back(Event{tick, 0, kChannelEvent, add({status, first, second, 0}), 4});
  }
  // An event of `kind` whose expanded bytes are given whole.
  void raw(std::uint32_t tick, std::uint32_t kind, const std::uint8_t* bytes, std::uint32_t size) {
    const auto offset = static_cast<std::uint32_t>(data.size());
    data.insert(data.end(), bytes, bytes + size);
    events.push_back(Event{tick, 0, kind, offset, size});
  }
  void endOfTrack(std::uint32_t tick) {
    events.push_back(Event{tick, 0, kMetaEvent, add({0xFF, 0x2F, 0x00, 0}), 3});
  }

 private:
  std::uint32_t add(std::initializer_list<std::uint8_t> bytes) {
    const auto offset = static_cast<std::uint32_t>(data.size());
    data.insert(data.end(), bytes);
    return offset;
  }
};

// A tick after `tick` by `delta`, held at the largest tick rather than wrapping round.
inline std::uint32_t tickAfter(std::uint32_t tick, std::uint64_t delta) {
  const std::uint64_t sum = tick + delta;
  return sum > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(sum);
}

// Appends the SMF event at `at` (a status byte, or data bytes under `runningStatus`) expanded as
// the SMF loader expands it. The bytes it took from the file; 0 when it does not end before `end`.
std::uint32_t appendSmfEvent(BuiltTrack& track, std::uint32_t tick, const std::uint8_t* at,
                             const std::uint8_t* end, std::uint8_t& runningStatus);

// The song's track table and each track's blocks from `tracks`, the bytes laid out in event
// order; every event timed at `ticksPerSecond`, the lengths set. Adds the events that may mark a
// loop to `loopMarks`. False when a block could not be made; those made stay for the caller.
bool storeTracks(platform::HGLOBAL song, const std::vector<BuiltTrack>& tracks,
                 std::uint32_t ticksPerSecond, std::vector<EventRef>& loopMarks);

}  // namespace quavr
