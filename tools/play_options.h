// quavr-play's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "include/quavr.h"

namespace quavr::tools {

struct PlayOptions {
  std::string device = "0";
  std::uint32_t period = 10;
  bool repeat = false;
  bool offline = false;
  bool list = false;
  // --loop-style: the QUAVR_LOOP_… conventions the file's loops are read by; when not given, the
  // song's own (its format's, as loaded)
  std::optional<std::uint32_t> loopStyles;
  std::uint32_t loopStart = 0xFFFFFFFFu;  // --loop START:END, in ms; none when 0xFFFFFFFF
  std::uint32_t loopEnd = 0xFFFFFFFFu;    // 0xFFFFFFFF: the song's end
  std::int32_t loops = 0;                 // --loops: passes of the loop after the first; -1 forever
  std::uint32_t volume = 100;             // percent
  std::uint32_t tempo = 1000;             // permille
  std::uint32_t fadeOutMs = 0;            // 0: no fade at the end
  std::uint32_t startMs = 0;              // --start: where in the song playing begins
  std::uint32_t rate = 48000;             // --rate: Hz of the audio --offline renders
  bool rateGiven = false;
  std::string log;
  std::string wav;
  std::string file;
  std::string next;                   // --next: the song queued to follow
  std::uint32_t when = QUAVR_AT_BAR;  // --at
  std::uint32_t entryMs = 0;          // --entry; QUAVR_NONE: at the same bar and beat
  std::uint32_t nextFlags = 0;        // --ring, --fade-in: QUAVR_TAIL_RING, QUAVR_FADE_IN
};

// An --at boundary: now, beat, bar, beat/N, bar/N (every N, counted from bar 0), marker,
// marker:I, loop-end or end, as its QUAVR_AT_ rule; none for anything else.
std::optional<std::uint32_t> parseWhen(const std::string& text);

// The options, or exits: 0 after --help, 2 on a wrong command line.
PlayOptions parsePlayOptions(int argc, char** argv);

// Prints "quavr-play: MESSAGE" on standard error and exits with `status`.
[[noreturn]] void fail(const std::string& message, int status = 1);

}  // namespace quavr::tools
