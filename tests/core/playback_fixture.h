// Playing songs on the fake platform with a timer the test fires by hand.
#pragma once

#include <string>
#include <vector>

#include "playback/device.h"
#include "tests/core/core_test.h"
#include "tests/core/song_copy.h"

namespace quavr::test {

// The packed short message of a note-on.
inline std::uint32_t noteOn(std::uint8_t channel, std::uint8_t key, std::uint8_t velocity) {
  return (0x90u | channel) | (std::uint32_t{key} << 8) | (std::uint32_t{velocity} << 16);
}

// The beat and bar lines a song passes: left out where a test looks at other events.
inline constexpr std::uint32_t kBeatEvents = QUAVR_EVENT_BEAT | QUAVR_EVENT_BAR;

class PlaybackTest : public CoreTest {
 protected:
  void TearDown() override {
    for (QuavrDevice d : devices_) bgmCloseMidiDev(d);
    fake::completeAllLongMessages();
    for (QuavrSong s : songs_) bgmDeleteSong(s);
    CoreTest::TearDown();
  }

  QuavrDevice open(std::uint32_t periodMs = 10) {
    const QuavrDevice device = bgmOpenMidiDev(0, periodMs);
    EXPECT_NE(device, 0u);
    devices_.push_back(device);
    return device;
  }

  // Division 500 at the default tempo: one tick is one millisecond.
  QuavrSong song(const std::vector<Bytes>& tracks, std::uint16_t division = 500) {
    const QuavrSong s = loadBytes(smf(division, tracks), "song" + std::to_string(songs_.size()));
    EXPECT_NE(s, 0u);
    songs_.push_back(s);
    return s;
  }

  // A copy of the device record.
  MidiDevice record(QuavrDevice device) {
    Resolved<MidiDevice> d(device);
    return d ? *d : MidiDevice{};
  }
  std::uint32_t clock(QuavrDevice device) { return record(device).clockMs; }

  // Fires the device's timer once; false when it has none.
  bool tick(QuavrDevice device) {
    const MidiDevice d = record(device);
    return d.state == Playing && fake::fireTimer(d.timerId);
  }
  // The short messages each of `n` ticks sends.
  std::vector<std::vector<std::uint32_t>> ticks(QuavrDevice device, int n) {
    std::vector<std::vector<std::uint32_t>> out;
    for (int i = 0; i < n; ++i) {
      const std::size_t before = fake::shortMessages().size();
      tick(device);
      const auto all = fake::shortMessages();
      out.emplace_back(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    }
    return out;
  }

  std::vector<QuavrDevice> devices_;
  std::vector<QuavrSong> songs_;
};

}  // namespace quavr::test
