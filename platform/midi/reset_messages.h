// What a port reset sends to silence a synthesizer: every pedal off (sustain, sostenuto, soft,
// hold 2) and all notes off on every channel, so no note hangs on a pedal after a pause or stop.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/common/pedal_release.h"

namespace quavr::platform::posix {

inline const std::vector<std::array<std::uint8_t, 3>>& resetMessages() {
  static const auto* messages = [] {
    auto* list = new std::vector<std::array<std::uint8_t, 3>>;
    for (std::uint8_t channel = 0; channel < 16; ++channel) {
      for (std::uint32_t i = 4u * channel; i < 4u * channel + 4; ++i) {
        const std::uint32_t pedal = quavrPedalRelease(i);
        list->push_back({static_cast<std::uint8_t>(pedal), static_cast<std::uint8_t>(pedal >> 8),
                         static_cast<std::uint8_t>(pedal >> 16)});
      }
      list->push_back({static_cast<std::uint8_t>(0xB0 | channel), 0x7B, 0x00});  // all notes off
    }
    return list;
  }();
  return *messages;
}

}  // namespace quavr::platform::posix
