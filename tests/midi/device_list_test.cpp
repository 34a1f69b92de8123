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

// The texts hosts read (bgmGetDeviceText): the list's names by number, then -1; the note on the
// synthesizer left out; by snprintf's rules, a short buffer cut and terminated.
TEST(WithoutSoundfont, ThereIsNoSynthButStillTheMonitor) {
  const auto names = posix::deviceNames();
  EXPECT_EQ(std::count(names.begin(), names.end(), "Quavr Synth"), 0);
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.back(), "Quavr Monitor");
  char text[8];
  const auto n = static_cast<UINT>(names.size());
  EXPECT_EQ(deviceText(DEVICE_TEXT_NAME, n - 1, text, sizeof text), 13);
  EXPECT_STREQ(text, "Quavr M");
  EXPECT_EQ(deviceText(DEVICE_TEXT_NAME, n, text, sizeof text), -1);
  EXPECT_EQ(deviceText(DEVICE_TEXT_UNLISTED, 0, nullptr, 0),
            static_cast<int>(posix::unlistedDevices().at(0).size()));
  EXPECT_EQ(deviceText(DEVICE_TEXT_UNLISTED, 1, nullptr, 0), -1);
  EXPECT_EQ(deviceText(DEVICE_TEXT_ERROR, 0, nullptr, 0), -1) << "no file failed";
  EXPECT_EQ(deviceText(3, 0, nullptr, 0), -1);
}

}  // namespace
}  // namespace quavr::platform
