#include "tools/play_keys.h"

#include <algorithm>
#include <cstdint>

namespace quavr::tools {

namespace {

constexpr int kVolumeStep = 10;
constexpr std::uint32_t kTempoStep = 100;
constexpr std::uint32_t kFadeOutMs = 3000;

void changeVolume(QuavrDevice device, int sign) {
  const auto now = static_cast<int>(bgmGetPlayInfo(device, QUAVR_PLAY_VOLUME));
  bgmSetVolume(device, static_cast<std::uint32_t>(std::clamp(now + sign * kVolumeStep, 0, 100)));
}

void changeTempo(QuavrDevice device, int sign) {
  const auto now = static_cast<int>(bgmGetPlayInfo(device, QUAVR_PLAY_TEMPO));
  bgmSetTempo(device, static_cast<std::uint32_t>(now + sign * static_cast<int>(kTempoStep)));
}

}  // namespace

KeyAction PlayKeys::press(QuavrDevice device, char key) {
  if (escape_ == 1) {
    escape_ = key == '[' ? 2 : 0;
    return KeyAction::kNone;
  }
  if (escape_ == 2) {
    escape_ = 0;
    if (key == 'A') changeVolume(device, +1);
    if (key == 'B') changeVolume(device, -1);
    return KeyAction::kNone;  // left and right (seeking) are not offered yet
  }
  switch (key) {
    case '\x1b':
      escape_ = 1;
      break;
    case 'q':
    case 'Q':
      return KeyAction::kQuit;
    case ' ':
      return KeyAction::kPause;
    case 'f':
      bgmFade(device, 0, kFadeOutMs, QUAVR_FADE_STOP);
      break;
    case '[':
      changeTempo(device, -1);
      break;
    case ']':
      changeTempo(device, +1);
      break;
    default:
      if (key >= '0' && key <= '9') {
        const std::uint32_t channel = key == '0' ? 9 : static_cast<std::uint32_t>(key - '1');
        bgmSetChannelMask(device, bgmGetPlayInfo(device, QUAVR_PLAY_MUTED) ^ (1u << channel));
      }
      break;
  }
  return KeyAction::kNone;
}

}  // namespace quavr::tools
