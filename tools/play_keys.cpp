#include "tools/play_keys.h"

#include <algorithm>
#include <cstdint>

namespace quavr::tools {

namespace {

constexpr int kVolumeStep = 10;
constexpr std::uint32_t kTempoStep = 100;
constexpr std::uint32_t kFadeOutMs = 3000;
constexpr std::int64_t kSeekStepMs = 5000;

void changeVolume(QuavrDevice device, int sign) {
  const auto now = static_cast<int>(bgmGetPlayInfo(device, QUAVR_PLAY_VOLUME));
  bgmSetVolume(device, static_cast<std::uint32_t>(std::clamp(now + sign * kVolumeStep, 0, 100)));
}

void changeTempo(QuavrDevice device, int sign) {
  const auto now = static_cast<int>(bgmGetPlayInfo(device, QUAVR_PLAY_TEMPO));
  bgmSetTempo(device, static_cast<std::uint32_t>(now + sign * static_cast<int>(kTempoStep)));
}

// Back to the start at most; past the end, the song ends.
void seekBy(QuavrDevice device, std::int64_t ms) {
  const std::int64_t at = static_cast<std::int64_t>(bgmGetPosition(device)) + ms;
  bgmSeek(device, static_cast<std::uint32_t>(std::clamp<std::int64_t>(at, 0, 0xFFFFFFFE)));
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
    if (key == 'C') seekBy(device, +kSeekStepMs);
    if (key == 'D') seekBy(device, -kSeekStepMs);
    return KeyAction::kNone;
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
    case 'n':
      return KeyAction::kNext;
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
