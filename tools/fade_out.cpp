#include "tools/fade_out.h"

#include <algorithm>

namespace quavr::tools {

bool fadeOutAtTheEnd(QuavrDevice device, std::uint32_t ms, std::uint32_t position,
                     std::uint32_t length) {
  if (ms == 0 || bgmGetPlayInfo(device, QUAVR_PLAY_LOOP_COUNT) != 0) return false;
  if (std::uint64_t{position} + ms < length) return false;
  const std::uint32_t tempo = bgmGetPlayInfo(device, QUAVR_PLAY_TEMPO);
  const std::uint64_t left = std::min<std::uint64_t>(ms, length - std::min(position, length));
  bgmFade(device, 0, static_cast<std::uint32_t>(left * 1000 / tempo), QUAVR_FADE_STOP);
  return true;
}

}  // namespace quavr::tools
