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

// A note-off made of a note's duration, stored in its place among the track's events: `order` is
// its tick (high 32 bits), then 0 to go before the tick's events, or 2i + 2 to go right after
// event i.
struct PendingNoteOff {
  std::uint64_t order;
  std::uint32_t onTick;  // of its note-on, event onIndex
  std::uint32_t onIndex;
  std::uint8_t channel, key;
};

inline std::uint64_t noteOffOrder(std::uint32_t tick, std::uint64_t place) {
  return (std::uint64_t{tick} << 32) | place;
}

// One event as the loaders build it: a channel message's bytes packed, first byte lowest; any
// other event the index of its Event in `others` and kOther in the top byte (a channel
// message's fourth byte, always 0).
struct BuiltEvent {
  std::uint32_t tick;
  std::uint32_t packed;
};
inline constexpr std::uint32_t kOther = 0xFF000000u;

struct BuiltTrack {
  std::vector<BuiltEvent> events;
  std::vector<Event> others;  // the events not channel messages: bytes in `data`, untimed
  std::vector<std::uint8_t> data;
  std::vector<PendingNoteOff> offs;  // sorted by order, merged in when stored

  // Room for the events of `bytes` bytes of a file, so that the list is not copied as it grows:
  // every event but a note-off takes two bytes or more.
  void reserveFor(std::size_t bytes) { events.reserve(bytes / 2 + 2); }
  // And for as many note-offs, of note-ons of four bytes or more.
  void reserveForDurations(std::size_t bytes) {
    reserveFor(bytes);
    offs.reserve(bytes / 4 + 1);
  }

  void channel(std::uint32_t tick, std::uint8_t status, std::uint8_t first,
               std::uint8_t second = 0) {
    events.push_back(
        BuiltEvent{tick, status | (std::uint32_t{first} << 8) | (std::uint32_t{second} << 16)});
  }
  // An event of `kind` whose expanded bytes are given whole.
  void raw(std::uint32_t tick, std::uint32_t kind, const std::uint8_t* bytes, std::uint32_t size) {
    const auto offset = static_cast<std::uint32_t>(data.size());
    data.insert(data.end(), bytes, bytes + size);
    other(tick, kind, offset, size);
  }
  // An event of `kind` whose expanded bytes are the last `size` of `data`, from `offset`. Past
  // 2^24 of them in one track, the rest are left out.
  void other(std::uint32_t tick, std::uint32_t kind, std::uint32_t offset, std::uint32_t size) {
    if (others.size() >= (kOther >> 8)) return;
    events.push_back(BuiltEvent{tick, kOther | static_cast<std::uint32_t>(others.size())});
    others.push_back(Event{tick, 0, kind, offset, size});
  }
  void endOfTrack(std::uint32_t tick) {
    static constexpr std::uint8_t kEnd[] = {0xFF, 0x2F, 0x00};
    raw(tick, kMetaEvent, kEnd, 3);
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
// order, the note-offs merged in; every event timed at `ticksPerSecond`, the lengths set. Adds the
// events that may mark a loop to `loopMarks`. False when a block could not be made; those made stay
// for the caller.
bool storeTracks(platform::HGLOBAL song, const std::vector<BuiltTrack>& tracks,
                 std::uint32_t ticksPerSecond, std::vector<EventRef>& loopMarks);

}  // namespace quavr
