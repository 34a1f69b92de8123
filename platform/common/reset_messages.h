// What a port reset sends to silence a synthesizer: every pedal off (sustain, sostenuto, soft,
// hold 2) and all notes off on every channel, so no note hangs on a pedal after a pause or stop.
// A table in static storage: a render device sends it on the audio thread, where nothing may
// allocate.
#pragma once

#include <array>
#include <cstdint>

#include "platform/common/pedal_release.h"

namespace quavr::platform {

inline constexpr std::uint32_t kResetMessageCount = 16 * 5;

inline const std::array<std::array<std::uint8_t, 3>, kResetMessageCount>& resetMessages() {
  static const auto messages = [] {
    std::array<std::array<std::uint8_t, 3>, kResetMessageCount> list{};
    std::uint32_t n = 0;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
      for (std::uint32_t i = 4u * channel; i < 4u * channel + 4; ++i) {
        const std::uint32_t pedal = quavrPedalRelease(i);
        list[n++] = {static_cast<std::uint8_t>(pedal), static_cast<std::uint8_t>(pedal >> 8),
                     static_cast<std::uint8_t>(pedal >> 16)};
      }
      list[n++] = {static_cast<std::uint8_t>(0xB0 | channel), 0x7B, 0x00};  // all notes off
    }
    return list;
  }();
  return messages;
}

}  // namespace quavr::platform
