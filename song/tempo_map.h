// The timing pass: every event's time in milliseconds through the song's tempo changes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "song/meter_map.h"
#include "song/records.h"

namespace quavr {

// Times every event of the song and sets every track's and the song's lengthMs. False when the
// tempo map could not be made.
bool timeSong(platform::HGLOBAL song);

// The set-tempo events the sizing pass met, tracks then events in index order. A set-tempo event
// stored with fewer than three tempo bytes reads its tempo from the expanded bytes after it, which
// the sizing pass does not have: then `complete` is false and the song is timed after expansion.
// The sizing pass also gathers the time signatures, which the song's grid is made from.
struct TempoChanges {
  std::vector<TempoPoint> found;
  bool complete = true;
  std::vector<MeterChange> meters;
};

// A block holding the map of `found`: the default tempo at tick 0, the changes by tick, each with
// its time, and an end marker that no tick reaches (found.size() + 2 points). 0 when it could not
// be made; the caller frees it.
platform::HGLOBAL makeTempoMap(const std::vector<TempoPoint>& found);
// Gives the song the map made of `changes` changes (a song timed again frees its old one).
void keepTempoMap(Song& song, platform::HGLOBAL map, std::size_t changes);

// Times one track's events in index order against a map of `last` + 1 real points, as they are
// made. The segment only moves forward and never onto the end marker. A tick below its
// predecessor's (the track's tick sum wrapped past 2^32) is timed as the predecessor's, so a
// track's times never go back.
struct TrackClock {
  TrackClock(const TempoPoint* map, std::uint32_t last, std::uint32_t division)
      : map(map), last(last), division(division), ms_(division) {
    if (map != nullptr) enter(0);
  }

  std::uint32_t timeOf(std::uint32_t eventTick) {
    if (eventTick <= tick && timed_) return lastMs_;  // a chord's notes share their time
    tick = std::max(tick, eventTick);
    if (tick >= nextTick) {
      std::uint32_t s = segment;
      while (s < last && tick >= map[s + 1].tick) ++s;
      enter(s);
    }
    timed_ = true;
    lastMs_ = ms_(usTicks + std::uint64_t{usPerQuarter} * (tick - startTick));
    return lastMs_;
  }

  const TempoPoint* map;
  std::uint32_t last;
  std::uint32_t division;

 private:
  // The segment's point held apart from the map, so the per-event work reads no memory.
  void enter(std::uint32_t s) {
    segment = s;
    startTick = map[s].tick;
    usPerQuarter = map[s].usPerQuarter;
    usTicks = map[s].usTicks;
    // On the last real point no tick moves it on.
    nextTick = s < last ? map[s + 1].tick : 0xFFFFFFFFu;
  }

  std::uint32_t segment = 0;
  std::uint32_t tick = 0;
  std::uint32_t startTick = 0;
  std::uint32_t usPerQuarter = 0;
  std::uint32_t nextTick = 0;
  std::uint64_t usTicks = 0;
  bool timed_ = false;  // lastMs_ is the time of `tick`
  std::uint32_t lastMs_ = 0;

 public:
  // msOf for one division, without a hardware divide per event: the quotient is estimated in
  // double precision and then corrected, so it is exact.
  struct MsDivider {
    explicit MsDivider(std::uint32_t division)
        : divisor(std::uint64_t{division} * 1000), inverse(division == 0 ? 0 : 1.0 / divisor) {}
    std::uint32_t operator()(std::uint64_t usTicks) const {
      if (divisor == 0) return 0;
      // Below 2^52 the estimate is exact to within one; above, divide.
      if (usTicks >= (std::uint64_t{1} << 52)) return clamp(usTicks / divisor);
      auto q = static_cast<std::uint64_t>(static_cast<double>(usTicks) * inverse);
      if (q * divisor > usTicks) {
        --q;
      } else if (usTicks - q * divisor >= divisor) {
        ++q;
      }
      return clamp(q);
    }
    static std::uint32_t clamp(std::uint64_t ms) {
      return ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(ms);
    }
    std::uint64_t divisor;
    double inverse;
  };

 private:
  MsDivider ms_;

 public:
  // The time of a point `usTicks` (µs per quarter × ticks, summed over the tempo segments before
  // it) into the song: truncated once, so the error does not grow with the number of tempo
  // changes. 0 when division is 0; past 2^32 ms (a song of more than 49 days) it stays at the
  // largest time instead of wrapping round to an earlier one, so times never go back.
  static std::uint32_t msOf(std::uint64_t usTicks, std::uint32_t division) {
    if (division == 0) return 0;
    const std::uint64_t ms = usTicks / (std::uint64_t{division} * 1000);
    return ms > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(ms);
  }
};

// Whole milliseconds of one span of `ticks` at `usPerQuarter` with `division` ticks per quarter
// note: usPerQuarter × ticks ÷ (division × 1000), truncated; 0 when division is 0.
std::uint32_t ticksToMs(std::uint32_t usPerQuarter, std::uint32_t ticks, std::uint32_t division);

}  // namespace quavr
