// Every export handed a handle that names nothing it can use: 0, a freed handle, a handle of the
// other kind, near misses and random values. Each gives its documented failure value and
// touches nothing: not the live device, not the live song, not uMidiStatus, not a block.
#include <random>

#include "tests/core/playback_fixture.h"

namespace quavr::test {
namespace {

using namespace platform;

class BadHandlesTest : public PlaybackTest {};

TEST_F(BadHandlesTest, EveryExportRefusesWhatIsNotItsKind) {
  const QuavrDevice device = open(10);
  const QuavrSong song = this->song({TrackWriter().note(0, 0, 60, 1).end(1000)});
  bgmSetRepeat(device, 3);
  bgmPlay(device, song);
  const QuavrDevice closedDevice = bgmOpenMidiDev(0, 10);
  bgmCloseMidiDev(closedDevice);
  const QuavrSong deletedSong = loadBytes(smf(96, {TrackWriter().end()}), "other.mid");
  bgmDeleteSong(deletedSong);
  const HGLOBAL plainBlock = GlobalAlloc(GHND, 64);

  std::vector<std::uint32_t> bad = {0, closedDevice, deletedSong, plainBlock, 0xFFFFFFFFu};
  for (std::uint32_t flip : {0x00400000u, 0x80000000u, 1u, 2u}) {
    bad.push_back(device ^ flip);
    bad.push_back(song ^ flip);
  }
  std::mt19937 random(42);
  for (int i = 0; i < 1000; ++i) bad.push_back(static_cast<std::uint32_t>(random()));

  uMidiStatus = 1234;
  const std::size_t blocks = fake::liveBlocks();
  for (std::uint32_t h : bad) {
    if (h == device || h == song) continue;
    EXPECT_EQ(bgmBgmStatus(h), -1) << h;
    EXPECT_EQ(bgmPlay(h, song), -1) << h;
    EXPECT_EQ(bgmPause(h), -1) << h;
    EXPECT_EQ(bgmStop(h), -1) << h;
    EXPECT_EQ(bgmSetRepeat(h, 9), 0) << h;
    EXPECT_EQ(bgmGetRepeat(h), 0) << h;
    EXPECT_EQ(bgmCloseMidiDev(h), MMSYSERR_INVALHANDLE) << h;
    EXPECT_EQ(bgmDeleteSong(h), h) << h;
    EXPECT_EQ(bgmGetSongLength(h), 0u) << h;
    EXPECT_EQ(bgmMidiStatus(h), 1234u) << h;
    char text[8] = "keep";
    EXPECT_EQ(bgmGetSongInfo(h, QUAVR_INFO_TRACKS, 0), QUAVR_NONE) << h;
    EXPECT_EQ(bgmGetSongText(h, QUAVR_TEXT_TITLE, 0, text, sizeof text), -1) << h;
    EXPECT_EQ(bgmGetSongEventData(h, 0, text, sizeof text), -1) << h;
    EXPECT_STREQ(text, "keep") << h;
    QuavrSongEvent event{};
    EXPECT_EQ(bgmGetSongEvents(h, 0, &event, 1), -1) << h;
    EXPECT_EQ(event.length, 0u) << h;
    EXPECT_EQ(bgmSetLoopStyle(h, QUAVR_LOOP_CC111), -1) << h;
    EXPECT_EQ(bgmSetLoopPoints(h, 0, 10), -1) << h;
    EXPECT_EQ(bgmQueueSong(h, song, QUAVR_AT_BAR, 0, 0), -1) << h;
    EXPECT_EQ(bgmQueueSong(device, h, QUAVR_AT_BAR, 0, 0), -1) << h;
    EXPECT_EQ(bgmQueueJump(h, QUAVR_AT_BAR, 0, 0), -1) << h;
    EXPECT_EQ(bgmQueueStop(h, QUAVR_AT_BAR), -1) << h;
    EXPECT_EQ(bgmQueueFade(h, QUAVR_AT_BAR, 0, 0, 0), -1) << h;
    EXPECT_EQ(bgmCancelQueued(h), -1) << h;
    EXPECT_EQ(bgmFadeChannels(h, QUAVR_AT_BAR, 1, 0, 0), -1) << h;
  }
  // A device handle where a song belongs, and the reverse.
  EXPECT_EQ(bgmDeleteSong(device), device);
  EXPECT_EQ(bgmGetSongLength(device), 0u);
  EXPECT_EQ(bgmGetSongInfo(device, QUAVR_INFO_LENGTH, 0), QUAVR_NONE);
  EXPECT_EQ(bgmSetLoopPoints(device, 0, 10), -1);
  EXPECT_EQ(bgmBgmStatus(song), -1);
  EXPECT_EQ(bgmCloseMidiDev(song), MMSYSERR_INVALHANDLE);

  EXPECT_EQ(uMidiStatus, 1234u);
  EXPECT_EQ(fake::liveBlocks(), blocks);
  EXPECT_EQ(bgmBgmStatus(device), Playing);
  EXPECT_EQ(bgmGetRepeat(device), 3);
  EXPECT_EQ(bgmGetSongLength(song), 1000u);
  EXPECT_EQ(bgmDeleteSong(song), song) << "still bound to the device";
  GlobalFree(plainBlock);
}

TEST_F(BadHandlesTest, PlayWithABadSongLeavesAnIdleDeviceIdle) {
  const QuavrDevice device = open(10);
  const QuavrSong song = this->song({TrackWriter().end(10)});
  for (std::uint32_t bad : {0u, device, song ^ 0x00400000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(bgmPlay(device, bad), Idle);
    EXPECT_EQ(bgmBgmStatus(device), Idle);
  }
  EXPECT_TRUE(fake::liveTimers().empty());
}

TEST_F(BadHandlesTest, LoadsRefuseWhatNamesNoFileOrResource) {
  EXPECT_EQ(bgmGetSongFile(nullptr), 0u);
  EXPECT_EQ(bgmGetSongFile(""), 0u);
  EXPECT_EQ(bgmGetSongRsc(nullptr, nullptr), 0u);
  EXPECT_EQ(bgmGetSongRsc(nullptr, MAKEINTRESOURCEA(0)), 0u);
  int unknownModule = 0;
  EXPECT_EQ(bgmGetSongRsc(&unknownModule, "Song"), 0u);
  EXPECT_EQ(bgmOpenMidiDev(7, 10), 0u);
  EXPECT_EQ(uMidiStatus, MMSYSERR_BADDEVICEID);
}

}  // namespace
}  // namespace quavr::test
