// The timing pass: every event's time in milliseconds through the song's tempo changes.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace quavr {

// Times every event of the song and sets every track's and the song's lengthMs. False when the
// tempo map could not be made.
bool timeSong(platform::HGLOBAL song);

// Whole milliseconds of one span of `ticks` at `usPerQuarter` with `division` ticks per quarter
// note: usPerQuarter × ticks ÷ (division × 1000), truncated; 0 when division is 0.
std::uint32_t ticksToMs(std::uint32_t usPerQuarter, std::uint32_t ticks, std::uint32_t division);

}  // namespace quavr
