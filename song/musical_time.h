// A song's grid in time: its bars and beats in ticks, from the meter map, timed exactly as its
// events are (through the tempo map, or at its fixed rate), so a note on a bar line has the bar
// line's time. Every lookup is a binary search over the maps: no walk of the song.
#pragma once

#include <cstdint>

#include "base/block.h"
#include "song/meter_map.h"
#include "song/records.h"

namespace quavr {

enum class GridUnit { Beat, Bar };

// No such time: past what 32 bits of milliseconds hold, or a grid point no tick reaches.
inline constexpr std::uint32_t kNoTime = 0xFFFFFFFF;

// Where a song time falls: the bar, the beat in it, how far into the beat (256ths, by song time)
// and the beat's index from the song's start; the beat's time and the next beat's.
struct MusicalPlace {
  std::uint64_t bar;
  std::uint32_t beat;
  std::uint32_t fraction;
  std::uint64_t beatIndex;
  std::uint32_t beatMs;
  std::uint32_t nextBeatMs;
};

// A place as hosts read it (QUAVR_PLAY_BAR_BEAT): the bar in bits 16-31 (65535 and past read
// 65535), the beat in 8-15 (255 and past read 255), the fraction in 0-7.
std::uint32_t packBarBeat(const MusicalPlace& place);

// The grid of one song, its maps resolved while this lives. The song must outlive it.
class SongGrid {
 public:
  explicit SongGrid(const Song& song);
  // False when a map would not resolve: every answer is then kNoTime or 0.
  explicit operator bool() const { return static_cast<bool>(meters_); }

  // The time of `tick`, as an event there is timed.
  std::uint32_t msOfTick(std::uint64_t tick) const;
  // The first tick whose time is `ms` or later.
  std::uint64_t firstTickAt(std::uint32_t ms) const;

  // Bars or beats that begin before the song's end tick (a last partial one counted).
  std::uint64_t count(GridUnit unit) const { return indexAtOrAfter(unit, song_.endTick); }
  // The time of bar or beat `index` (any index: the last meter goes on past the end).
  std::uint32_t timeOf(GridUnit unit, std::uint64_t index) const;
  // The first bar or beat whose index is a multiple of `every` (counted from 0) at `ms` or later.
  std::uint32_t nextAt(GridUnit unit, std::uint32_t every, std::uint32_t ms) const;
  // The meter of bar `bar`.
  const MeterSegment& meterOfBar(std::uint64_t bar) const;
  std::uint32_t meterCount() const { return meters_ ? song_.meterCount : 0; }
  const MeterSegment& meter(std::uint32_t index) const { return meters_[index]; }

  // The bar and beat a song time falls in.
  MusicalPlace placeOf(std::uint32_t ms) const;
  // The time of `fraction` 256ths into beat `beat` of bar `bar`; a beat past the bar's last is
  // its last. kNoTime for a bar at or past the song's end.
  std::uint32_t timeOfPlace(std::uint64_t bar, std::uint32_t beat, std::uint32_t fraction) const;

 private:
  std::uint64_t indexAtOrAfter(GridUnit unit, std::uint64_t tick) const;
  std::uint64_t tickOf(GridUnit unit, std::uint64_t index) const;
  const MeterSegment& segmentAtTick(std::uint64_t tick) const;
  const MeterSegment& segmentOf(GridUnit unit, std::uint64_t index) const;

  const Song& song_;
  Resolved<TempoPoint> tempo_;
  Resolved<MeterSegment> meters_;
  std::uint64_t whole_;
};

// The packed places of song times that rarely fall back and mostly stay within a beat, such as a
// walk's in order: a search of the grid only when a time leaves the last one's beat.
class PlaceCursor {
 public:
  explicit PlaceCursor(const SongGrid& grid) : grid_(grid) {}
  // packBarBeat of the place of `ms`; QUAVR_NONE when the grid would not resolve.
  std::uint32_t packedAt(std::uint32_t ms) {
    if (ms == lastMs_) return packed_;
    lastMs_ = ms;
    const std::uint64_t into = ms - std::uint64_t{place_.beatMs};
    if (into >= span_) {
      moveTo(ms);
      return packed_;
    }
    // Within the beat only the fraction moves: placeOf's quotient, exact by a reciprocal made
    // once a beat (rounded up, of 40 bits, for beats below 65536 ms).
    packed_ = (packed_ & ~0xFFu) | static_cast<std::uint32_t>(into * reciprocal_ >> 32);
    return packed_;
  }

 private:
  void moveTo(std::uint32_t ms);  // a search of the grid

  const SongGrid& grid_;
  MusicalPlace place_{};
  std::uint64_t span_ = 0;        // the beat's length where the fast path holds: none at first
  std::uint64_t reciprocal_ = 0;  // 2^40 / span_, rounded up
  std::uint64_t lastMs_ = ~0ull;  // no time yet
  std::uint32_t packed_ = 0;
};

}  // namespace quavr
