#include "tools/progress.h"

#include <algorithm>
#include <cstdio>

#include "include/quavr.h"

namespace quavr::tools {

namespace {

std::string clock(std::uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u", ms / 60000, ms / 1000 % 60);
  return text;
}

constexpr int kBarWidth = 30;
constexpr int kNarrowestBar = 5;

}  // namespace

std::string progressLine(std::uint32_t elapsedMs, std::uint32_t lengthMs, bool paused, int width,
                         std::uint32_t loopsDone, std::uint32_t barBeat) {
  const std::string where = barBeat == 0xFFFFFFFFu ? ""
                                                   : std::to_string(QUAVR_BAR(barBeat)) + "." +
                                                         std::to_string(QUAVR_BEAT(barBeat)) + "  ";
  const std::string times = "  " + where + clock(elapsedMs) + " / " + clock(lengthMs);
  const std::string state =
      (loopsDone != 0 ? "  loop " + std::to_string(loopsDone) : "") + (paused ? "  paused" : "");
  // The last column stays empty: writing it makes some terminals wrap.
  const int room = width <= 0 ? 1000 : width - 1;
  const int barRoom = room - static_cast<int>(times.size() + state.size()) - 3;  // " [" "]"
  const int bar = std::min(kBarWidth, barRoom);
  std::string line = times;
  if (bar >= kNarrowestBar) {
    const auto filled =
        lengthMs == 0 ? 0
                      : static_cast<int>(std::min<std::uint64_t>(
                            static_cast<std::uint64_t>(bar),
                            std::uint64_t{elapsedMs} * static_cast<std::uint64_t>(bar) / lengthMs));
    line += " [" + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(bar - filled), '-') + "]";
  }
  line += state;
  if (static_cast<int>(line.size()) > room)
    line.resize(static_cast<std::size_t>(std::max(room, 0)));
  return line;
}

}  // namespace quavr::tools
