// quavr-play's progress line: "  5.3  0:12 / 1:30 [#####-----]  paused" (bar 5, beat 3, counted
// from 0 as the library counts them), fitted to the terminal's width
// so that it never wraps (and so never scrolls): the bar shrinks, then goes, then the text is cut.
#pragma once

#include <cstdint>
#include <string>

namespace quavr::tools {

// With loops done, "  loop N" follows the bar. `barBeat` is packed as QUAVR_PLAY_BAR_BEAT;
// 0xFFFFFFFF shows none.
std::string progressLine(std::uint32_t elapsedMs, std::uint32_t lengthMs, bool paused, int width,
                         std::uint32_t loopsDone = 0, std::uint32_t barBeat = 0xFFFFFFFFu);

}  // namespace quavr::tools
