#include "song/meter_map.h"

#include <algorithm>

#include "base/block.h"
#include "include/quavr.h"

namespace quavr {

using namespace platform;

namespace {

// The game formats count no meter of their own; an Extended MIDI song may carry FF 58. A
// division with its top bit set counts SMPTE frames, not quarter notes.
bool hasNominalGrid(const Song& song, bool foundAny) {
  switch (song.format) {
    case QUAVR_FORMAT_MUS:
    case QUAVR_FORMAT_HMP:
    case QUAVR_FORMAT_HMI:
      return true;
    case QUAVR_FORMAT_XMI:
      return !foundAny;
    default:
      return (song.division & 0x8000) != 0;
  }
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) {
  return a / b + (a % b != 0 ? 1 : 0);
}

// The beats and bars of `s` until `endTick`: the last of each cut short by the next meter.
void countTo(const MeterSegment& s, std::uint32_t endTick, std::uint64_t whole,
             MeterSegment& next) {
  const std::uint64_t span = std::uint64_t{endTick - s.tick} * s.denominator;
  next.firstBeat = s.firstBeat + ceilDiv(span, whole);
  next.firstBar = s.firstBar + ceilDiv(span, whole * s.numerator);
}

}  // namespace

std::uint64_t wholeNoteTicks(const Song& song) {
  std::uint64_t quarter = song.division;
  if (quarter == 0) quarter = song.tickRate > 1 ? song.tickRate / 2 : 1;
  return 4 * quarter;
}

bool buildMeterMap(Song& song, const Track* tracks, std::vector<MeterChange>& found) {
  song.endTick = 0;
  for (std::uint32_t t = 0; t < song.trackCount; ++t) {
    if (tracks[t].eventCount == 0) continue;
    Resolved<Event> events(tracks[t].eventBlock);
    if (events) song.endTick = std::max(song.endTick, events[tracks[t].eventCount - 1].tick);
  }
  const bool nominal = hasNominalGrid(song, !found.empty());
  if (nominal) found.clear();
  std::stable_sort(found.begin(), found.end(),
                   [](const MeterChange& a, const MeterChange& b) { return a.tick < b.tick; });
  const std::uint64_t whole = wholeNoteTicks(song);
  std::vector<MeterSegment> map{{0, 4, 4, nominal ? 1u : 0u, 0, 0}};
  for (const MeterChange& c : found) {
    const std::uint32_t denominator = 1u << c.denominatorPower;
    MeterSegment& last = map.back();
    if (c.tick == last.tick) {  // the last of one tick wins
      last.numerator = c.numerator;
      last.denominator = denominator;
      continue;
    }
    // The meter in force again on one of its own bar lines changes nothing.
    const std::uint64_t barSpan = whole * last.numerator;
    if (c.numerator == last.numerator && denominator == last.denominator &&
        std::uint64_t{c.tick - last.tick} * last.denominator % barSpan == 0)
      continue;
    MeterSegment next{c.tick, c.numerator, denominator, 0, 0, 0};
    countTo(last, c.tick, whole, next);
    map.push_back(next);
  }
  song.meterBlock = GlobalAlloc(GMEM_MOVEABLE, map.size() * sizeof(MeterSegment));
  Resolved<MeterSegment> block(song.meterBlock);
  if (!block) return false;
  std::copy(map.begin(), map.end(), block.get());
  song.meterCount = static_cast<std::uint32_t>(map.size());
  return true;
}

}  // namespace quavr
