#include "song/musical_time.h"

#include <algorithm>

#include "include/quavr.h"
#include "song/set_tempo.h"
#include "song/tempo_map.h"

namespace quavr {

namespace {

// Past every tick a song has (its ticks are 32-bit), yet small enough that no product overflows.
constexpr std::uint64_t kFarTick = std::uint64_t{1} << 36;
constexpr TempoPoint kDefaultTempo{0, kDefaultUsPerQuarter, 0};

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

std::uint32_t clampMs(std::uint64_t ms) {
  return ms > kNoTime ? kNoTime : static_cast<std::uint32_t>(ms);
}

std::uint64_t firstOf(const MeterSegment& s, GridUnit unit) {
  return unit == GridUnit::Bar ? s.firstBar : s.firstBeat;
}

// 256ths of the beat from `from` to `to` that `ms` is in, by song time.
std::uint32_t fractionOf(std::uint32_t ms, std::uint32_t from, std::uint32_t to) {
  const std::uint64_t fraction =
      to > from && ms > from ? std::uint64_t{ms - from} * 256 / (to - from) : 0;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(fraction, 255));
}

}  // namespace

SongGrid::SongGrid(const Song& song)
    : song_(song),
      tempo_(song.tempoBlock),
      meters_(song.meterCount != 0 ? song.meterBlock : 0),
      whole_(wholeNoteTicks(song)) {}

std::uint32_t SongGrid::msOfTick(std::uint64_t tick) const {
  tick = std::min(tick, kFarTick);
  if (song_.tickRate != 0) return clampMs(tick * 1000 / song_.tickRate);
  // The map's real points, its end marker left out; the default tempo alone without one.
  const TempoPoint* first = tempo_ && song_.tempoCount >= 2 ? tempo_.get() : &kDefaultTempo;
  const TempoPoint* last = first + (tempo_ && song_.tempoCount >= 2 ? song_.tempoCount - 1 : 1);
  // Of several points on one tick the last is in force, as when the events were timed.
  const TempoPoint& p =
      *(std::upper_bound(first + 1, last, tick,
                         [](std::uint64_t t, const TempoPoint& q) { return t < q.tick; }) -
        1);
  return TrackClock::msOf(p.usTicks + std::uint64_t{p.usPerQuarter} * (tick - p.tick),
                          song_.division);
}

std::uint64_t SongGrid::firstTickAt(std::uint32_t ms) const {
  if (ms == 0) return 0;
  const std::uint64_t rate = song_.tickRate;
  if (rate != 0) {
    const std::uint64_t tick = ms / 1000 * rate + ceilDiv(ms % 1000 * rate, 1000);
    return std::min(tick, kFarTick);
  }
  const std::uint64_t division = song_.division;
  if (division == 0) return kFarTick;  // every tick is at 0 ms
  const TempoPoint* first = tempo_ && song_.tempoCount >= 2 ? tempo_.get() : &kDefaultTempo;
  const TempoPoint* last = first + (tempo_ && song_.tempoCount >= 2 ? song_.tempoCount - 1 : 1);
  const std::uint64_t target = std::uint64_t{ms} * division * 1000;
  // The last point still before `ms`: the segment the tick is in, or whose end it is.
  const TempoPoint* p =
      std::partition_point(first, last, [&](const TempoPoint& q) { return q.usTicks < target; }) -
      1;
  const std::uint64_t next = p + 1 < last ? p[1].tick : kFarTick;
  if (p->usPerQuarter == 0) return next;  // no time passes in the segment
  return std::min({p->tick + ceilDiv(target - p->usTicks, p->usPerQuarter), next, kFarTick});
}

const MeterSegment& SongGrid::segmentAtTick(std::uint64_t tick) const {
  const MeterSegment* first = meters_.get();
  return *(std::upper_bound(first + 1, first + song_.meterCount, tick,
                            [](std::uint64_t t, const MeterSegment& s) { return t < s.tick; }) -
           1);
}

const MeterSegment& SongGrid::segmentOf(GridUnit unit, std::uint64_t index) const {
  const MeterSegment* first = meters_.get();
  return *(std::upper_bound(
               first + 1, first + song_.meterCount, index,
               [unit](std::uint64_t i, const MeterSegment& s) { return i < firstOf(s, unit); }) -
           1);
}

std::uint64_t SongGrid::indexAtOrAfter(GridUnit unit, std::uint64_t tick) const {
  if (!meters_) return 0;
  const MeterSegment& s = segmentAtTick(tick);
  const std::uint64_t span = whole_ * (unit == GridUnit::Bar ? s.numerator : 1);
  return firstOf(s, unit) + ceilDiv((tick - s.tick) * s.denominator, span);
}

std::uint64_t SongGrid::tickOf(GridUnit unit, std::uint64_t index) const {
  const MeterSegment& s = segmentOf(unit, index);
  const std::uint64_t beats =
      (index - firstOf(s, unit)) * (unit == GridUnit::Bar ? s.numerator : 1);
  return s.tick + beats * whole_ / s.denominator;
}

std::uint32_t SongGrid::timeOf(GridUnit unit, std::uint64_t index) const {
  return meters_ ? msOfTick(tickOf(unit, index)) : kNoTime;
}

std::uint32_t SongGrid::nextAt(GridUnit unit, std::uint32_t every, std::uint32_t ms) const {
  const std::uint64_t tick = firstTickAt(ms);
  if (!meters_ || tick >= kFarTick) return kNoTime;
  std::uint64_t index = indexAtOrAfter(unit, tick);
  if (every > 1) index = ceilDiv(index, every) * every;
  return timeOf(unit, index);
}

const MeterSegment& SongGrid::meterOfBar(std::uint64_t bar) const {
  return segmentOf(GridUnit::Bar, bar);
}

MusicalPlace SongGrid::placeOf(std::uint32_t ms) const {
  if (!meters_) return {};
  // The last beat at `ms` or before: the one before the first tick past it.
  std::uint64_t after = ms == kNoTime ? kFarTick : firstTickAt(ms + 1);
  if (after >= kFarTick) after = std::max<std::uint64_t>(song_.endTick, 1);
  const std::uint64_t beat = indexAtOrAfter(GridUnit::Beat, after) - 1;
  const MeterSegment& s = segmentOf(GridUnit::Beat, beat);
  const std::uint64_t inMeter = beat - s.firstBeat;
  const std::uint32_t from = timeOf(GridUnit::Beat, beat), to = timeOf(GridUnit::Beat, beat + 1);
  return {s.firstBar + inMeter / s.numerator,
          static_cast<std::uint32_t>(inMeter % s.numerator),
          fractionOf(ms, from, to),
          beat,
          from,
          to};
}

std::uint32_t packBarBeat(const MusicalPlace& place) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(place.bar, 0xFFFF)) << 16 |
         std::min<std::uint32_t>(place.beat, 0xFF) << 8 | place.fraction;
}

void PlaceCursor::moveTo(std::uint32_t ms) {
  place_ = grid_.placeOf(ms);
  // (x * ceil(2^40 / d)) >> 32 is floor(256 x / d) for every x below d when 256 d^2 <= 2^40.
  const std::uint64_t span = place_.nextBeatMs - std::uint64_t{place_.beatMs};
  span_ = place_.nextBeatMs > place_.beatMs && span <= 0xFFFF ? span : 0;
  reciprocal_ = span_ != 0 ? ((std::uint64_t{1} << 40) + span_ - 1) / span_ : 0;
  packed_ = grid_ ? packBarBeat(place_) : QUAVR_NONE;
}

std::uint32_t SongGrid::timeOfPlace(std::uint64_t bar, std::uint32_t beat,
                                    std::uint32_t fraction) const {
  if (!meters_ || bar >= count(GridUnit::Bar)) return kNoTime;
  const auto firstBeatOf = [&](std::uint64_t b) {
    const MeterSegment& s = segmentOf(GridUnit::Bar, b);
    return s.firstBeat + (b - s.firstBar) * s.numerator;
  };
  const std::uint64_t first = firstBeatOf(bar);
  const std::uint64_t index = std::min(first + beat, firstBeatOf(bar + 1) - 1);
  const std::uint32_t from = timeOf(GridUnit::Beat, index), to = timeOf(GridUnit::Beat, index + 1);
  return clampMs(from + (to > from ? std::uint64_t{to - from} * fraction / 256 : 0));
}

}  // namespace quavr
