// The device list, with and without a soundfont (each test runs under its own environment).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>

#include "platform/platform.h"
#include "platform/platform_info.h"
#include "tests/posix/temp_dir.h"

namespace quavr::platform {
namespace {

TEST(WithSoundfont, TheSynthComesFirstAndTheMonitorLast) {
  test::TempDir dir;
  setenv("QUAVR_WAV", (dir / "out.wav").c_str(), 1);
  const auto names = posix::deviceNames();
  ASSERT_GE(names.size(), 2u);
  EXPECT_EQ(names.front(), "Quavr Synth");
  EXPECT_EQ(names.back(), "Quavr Monitor");
  EXPECT_EQ(midiOutGetNumDevs(), names.size());
  HMIDIOUT mapper = 0;
  HMIDIOUT again = 0;
  ASSERT_EQ(midiOutOpen(&mapper, MIDI_MAPPER, 0, 0, 0), MMSYSERR_NOERROR) << "opens device 0";
  EXPECT_EQ(midiOutOpen(&again, 0, 0, 0, 0), MMSYSERR_ALLOCATED) << "one synthesizer at a time";
  EXPECT_EQ(midiOutClose(mapper), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutOpen(&again, 0, 0, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutClose(again), MMSYSERR_NOERROR);
}

TEST(WithoutSoundfont, ThereIsNoSynthButStillTheMonitor) {
  const auto names = posix::deviceNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "Quavr Synth"), 0);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "Quavr Monitor");
}

}  // namespace
}  // namespace quavr::platform
