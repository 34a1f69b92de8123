// quavr-play's progress line: "  0:12 / 1:30 [#####-----]  paused", fitted to the terminal's width
// so that it never wraps (and so never scrolls): the bar shrinks, then goes, then the text is cut.
#pragma once

#include <cstdint>
#include <string>

namespace quavr::tools {

// With loops done, "  loop N" follows the bar.
std::string progressLine(std::uint32_t elapsedMs, std::uint32_t lengthMs, bool paused, int width,
                         std::uint32_t loopsDone = 0);

}  // namespace quavr::tools
