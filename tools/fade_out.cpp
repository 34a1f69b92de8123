#include "tools/fade_out.h"

#include <algorithm>

namespace quavr::tools {

void fadeOutAtTheEnd(QuavrDevice device, std::uint32_t ms, std::uint32_t length) {
  const std::uint32_t span = std::min(ms, length);
  const std::uint32_t tempo = bgmGetPlayInfo(device, QUAVR_PLAY_TEMPO);
  bgmFadeAt(device, length - span, 0,
            static_cast<std::uint32_t>(std::uint64_t{span} * 1000 / tempo), QUAVR_FADE_STOP);
}

}  // namespace quavr::tools
