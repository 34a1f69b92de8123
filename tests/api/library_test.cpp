// libquavr.so as a host uses it: only the public header, the real Linux platform.
#include <gtest/gtest.h>
#include <quavr.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/posix/temp_dir.h"

namespace {

std::string errorText() {
  char text[256];
  bgmGetMidiErrorText(text, sizeof text);
  return text;
}

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("QUAVR_MONITOR_LOG", log_.c_str(), 1); }
  quavr::test::TempDir dir_;
  std::string log_ = dir_ / "monitor.log";
};

// Without a soundfont (the test's environment) and without MIDI ports, device 0 is the monitor.
TEST_F(LibraryTest, DeviceZeroOpensAndCloses) {
  const QuavrDevice device = bgmOpenMidiDev(0, 10);
  ASSERT_NE(device, 0u);
  EXPECT_EQ(uMidiStatus, 0u);
  EXPECT_EQ(bgmMidiStatus(device), 0u);
  EXPECT_FALSE(errorText().empty());
  EXPECT_EQ(bgmCloseMidiDev(device), 0u);
  EXPECT_EQ(bgmCloseMidiDev(device), 5u) << "closed twice";
}

TEST_F(LibraryTest, AMissingDeviceGivesBadDeviceIdAndItsText) {
  EXPECT_EQ(bgmOpenMidiDev(5, 10), 0u);
  EXPECT_EQ(uMidiStatus, 2u);
  EXPECT_EQ(bgmMidiStatus(0), 2u);
  EXPECT_EQ(errorText(), "There is no MIDI output device with this number.");
}

// A file of 4 GiB and more: its size modulo 2^32 would read just the song at its start.
TEST_F(LibraryTest, AFileOf4GiBOrMoreIsRefused) {
  const unsigned char song[] = {'M', 'T', 'h', 'd', 0,   0, 0, 6, 0, 0, 0,    1,    0,
                                96,  'M', 'T', 'r', 'k', 0, 0, 0, 4, 0, 0xFF, 0x2F, 0};
  const std::string path = dir_ / "huge.mid";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(song), sizeof song);
  const QuavrSong small = bgmGetSongFile(path.c_str());
  EXPECT_NE(small, 0u);
  bgmDeleteSong(small);
  std::filesystem::resize_file(path, (std::uint64_t{1} << 32) + sizeof song);  // sparse
  EXPECT_EQ(bgmGetSongFile(path.c_str()), 0u);
}

TEST_F(LibraryTest, TheVersionIs010) {
  EXPECT_STREQ(QUAVR_VERSION_STRING, "0.10");
  EXPECT_EQ(QUAVR_VERSION_MINOR, 10);
}

}  // namespace

extern "C" int quavrHostStateSum();

// An RMID file held in the host's memory: loaded, titled, looped, all through the library.
TEST_F(LibraryTest, ASongFromMemoryTellsItsTitleAndLoop) {
  const unsigned char smf[] = {
      'M',  'T',  'h',  'd', 0,   0, 0, 6, 0,  0, 0,    1,   0x01,
      0xF4, 'M',  'T',  'r', 'k', 0, 0, 0, 13, 0, 0xB0, 111, 0,  // CC111 at 0 ms
      0x83, 0x74, 0x90, 60,  100,                                // a note at 500 ms
      0,    0xFF, 0x2F, 0};
  static const char kWrapper[] = "RIFF\0\0\0\0RMIDLIST\x0e\0\0\0INFOINAM\x02\0\0\0Q\0data";
  std::string rmid = std::string(kWrapper, sizeof kWrapper - 1) +
                     std::string(1, static_cast<char>(sizeof smf)) + std::string(3, '\0') +
                     std::string(reinterpret_cast<const char*>(smf), sizeof smf);
  const QuavrSong song = bgmGetSongMem(rmid.data(), static_cast<uint32_t>(rmid.size()));
  rmid.assign(rmid.size(), 'x');  // the library has its own copy
  ASSERT_NE(song, 0u);
  char title[8];
  EXPECT_EQ(bgmGetSongText(song, QUAVR_TEXT_TITLE, 0, title, sizeof title), 1);
  EXPECT_STREQ(title, "Q");
  EXPECT_EQ(bgmGetSongLength(song), 500u);
  EXPECT_EQ(bgmSetLoopStyle(song, QUAVR_LOOP_CC111), 0);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, 0), 0u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, 0), 500u);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

TEST(PublicHeader, ACHostCanDoWithoutTheShortStateNames) {
  EXPECT_EQ(quavrHostStateSum(), 7 + 8 + 9 + 10 + 0 + 1 + 2 + 16);
}
