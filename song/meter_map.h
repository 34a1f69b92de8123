// The song's meter map, made at load: the time-signature events (FF 58) of every track merged by
// tick, each beginning a bar, or for the game formats and SMPTE-timed songs a nominal 4/4.
#pragma once

#include <cstdint>
#include <vector>

#include "song/records.h"

namespace quavr {

inline constexpr std::uint8_t kMetaTimeSignature = 0x58;
// Beat notes shorter than a 128th read as a 128th: the value QUAVR_INFO_METER packs in a byte.
inline constexpr std::uint32_t kMaxDenominatorPower = 7;

// A time-signature event as found: its tick, beats to the bar and the beat's note (2^power).
struct MeterChange {
  std::uint32_t tick;
  std::uint32_t numerator;
  std::uint32_t denominatorPower;
};

// A meter from its tick on, until the next: always a bar line. The bars and beats before it
// are counted from the song's start.
struct MeterSegment {
  std::uint32_t tick;
  std::uint32_t numerator;    // beats to the bar, 1-255
  std::uint32_t denominator;  // the beat's note: 4 a quarter, 8 an eighth
  std::uint32_t nominal;      // not the file's: the game formats' and SMPTE songs' 4/4
  std::uint64_t firstBar;
  std::uint64_t firstBeat;
};

// The time signature of the meta event whose stored bytes (FF 58, a one-byte length, nn dd ...)
// run from `at` to `end`; false when it is none or says no beat to the bar.
inline bool readTimeSignature(const std::uint8_t* at, const std::uint8_t* end, std::uint32_t tick,
                              MeterChange& out) {
  if (end - at < 5 || at[0] != 0xFF || at[1] != kMetaTimeSignature) return false;
  if (at[2] < 2 || at[2] > 0x7F || at[3] == 0) return false;
  out = {tick, at[3], at[4] < kMaxDenominatorPower ? at[4] : kMaxDenominatorPower};
  return true;
}

// Ticks of a whole note on the song's grid: four quarter notes of its division. A song whose
// header gives none has quarter notes of one tick, or, timed at a fixed rate, of 120 a minute.
std::uint64_t wholeNoteTicks(const Song& song);

// Sets the song's meter map and end tick from the changes found (any order; of several on one
// tick the last found wins). False when its block could not be made.
bool buildMeterMap(Song& song, const Track* tracks, std::vector<MeterChange>& found);

}  // namespace quavr
