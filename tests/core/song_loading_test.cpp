#include "tests/core/core_test.h"
#include "tests/core/song_copy.h"

namespace quavr::test {
namespace {

using namespace platform;

class SongLoadingTest : public CoreTest {
 protected:
  const Bytes twoTracks = smf(96, {TrackWriter().tempo(0, 600000).end(96),
                                   TrackWriter().note(0, 0, 60, 100).note(192, 0, 60, 0).end()});
};

TEST_F(SongLoadingTest, AFileLoadsWholeAndDeletesWithEveryBlock) {
  const QuavrSong song = loadBytes(twoTracks);
  ASSERT_NE(song, 0u);
  const SongCopy view = inspect(song);
  EXPECT_EQ(view.format, 1u);
  EXPECT_EQ(view.trackCount, 2u);
  EXPECT_EQ(view.division, 96u);
  EXPECT_EQ(bgmGetSongLength(song), 1200u);
  EXPECT_EQ(fake::liveBlocks(), 1u + 1u + 2u * 2u + 2u)
      << "song, track table, two blocks per track, the tempo and meter maps";
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

TEST_F(SongLoadingTest, AnythingReadableLoadsEvenWhenItIsNoMidiFile) {
  const std::vector<std::pair<const char*, Bytes>> notMidi = {
      {"text", Bytes{'h', 'e', 'l', 'l', 'o'}},
      // An RMID form is unwrapped now (RmidTest); any other RIFF form is still no MIDI file.
      {"RIFF wrapper of another form", riff("WAVE", {riffChunk("data", twoTracks)})},
      {"RMID form without a data chunk", riff("RMID", {riffChunk("DATA", twoTracks)})},
      {"header cut short", Bytes(twoTracks.begin(), twoTracks.begin() + 13)},
      {"header length 8", concat({chunk("MThd", concat({be16(1), be16(1), be16(96), be16(0)})),
                                  chunk("MTrk", TrackWriter().end())})},
      {"another chunk first",
       concat({header(1, 1, 96), chunk("XFIH", {1, 2}), chunk("MTrk", TrackWriter().end())})},
      {"fewer chunks than the count",
       concat({header(1, 3, 96), chunk("MTrk", TrackWriter().end())})},
      {"chunk header cut short", concat({header(1, 1, 96), Bytes{'M', 'T', 'r', 'k', 0}})},
      {"lower-case id", concat({header(1, 1, 96), chunk("mtrk", TrackWriter().end())})},
      {"65535 tracks, short file", concat({header(1, 65535, 96), chunk("MTrk", {})})},
  };
  for (const auto& [what, bytes] : notMidi) {
    const QuavrSong song = loadBytes(bytes);
    ASSERT_NE(song, 0u) << what;
    const SongCopy view = inspect(song);
    EXPECT_FALSE(view.hasTable) << what;
    EXPECT_EQ(view.trackCount, 0u) << what;
    EXPECT_EQ(bgmGetSongLength(song), 0u) << what;
    EXPECT_EQ(bgmDeleteSong(song), 0u) << what;
  }
  EXPECT_LT(fake::largestAllocation(), 4096u) << "no table for 65535 tracks that are not there";
}

TEST_F(SongLoadingTest, OnlyTheCountedChunksAreRead) {
  const Bytes body = TrackWriter().note(0, 0, 60, 1).end();
  Bytes file =
      concat({header(0, 2, 96), chunk("MTrk", body), chunk("MTrk", body), chunk("MTrk", body)});
  const QuavrSong song = loadBytes(file);
  EXPECT_EQ(inspect(song).tracks.size(), 2u);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
  const QuavrSong empty = loadBytes(header(1, 0, 96));
  const SongCopy view = inspect(empty);
  EXPECT_TRUE(view.hasTable) << "a count of 0 still gives an (empty) table";
  EXPECT_EQ(bgmDeleteSong(empty), 0u);
}

TEST_F(SongLoadingTest, FormatIsNotExaminedAndSmpteDivisionCountsAsTicks) {
  const QuavrSong song = loadBytes(smf(0xE728, {TrackWriter().end(0xE728)}, 2));
  const SongCopy view = inspect(song);
  EXPECT_EQ(view.format, 2u);
  EXPECT_EQ(view.division, 0xE728u);
  EXPECT_EQ(view.lengthMs, 500u) << "one quarter note";
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

TEST_F(SongLoadingTest, WhatCannotBeReadGivesNoSong) {
  fake::addFile("empty.mid", {});
  fake::addFile("pipe", twoTracks, FILE_TYPE_PIPE);
  fake::addFile("console", twoTracks, FILE_TYPE_CHAR);
  EXPECT_EQ(bgmGetSongFile("empty.mid"), 0u);
  EXPECT_EQ(bgmGetSongFile("missing.mid"), 0u);
  EXPECT_EQ(bgmGetSongFile("pipe"), 0u);
  EXPECT_EQ(bgmGetSongFile("console"), 0u);
  EXPECT_EQ(bgmGetSongFile(nullptr), 0u);
  fake::addFile("song.mid", twoTracks);
  fake::inject(fake::Op::ReadFile, 0);
  EXPECT_EQ(bgmGetSongFile("song.mid"), 0u);
}

TEST_F(SongLoadingTest, ResourcesLoadByNameAndById) {
  int moduleTag = 0;
  HMODULE module = &moduleTag;
  fake::addResource(module, "Theme", twoTracks);
  fake::addResource(module, 101, twoTracks);
  fake::addResource(module, "Empty", {});
  for (const char* name : {"Theme", "THEME", "#101", MAKEINTRESOURCEA(101)}) {
    const QuavrSong song = bgmGetSongRsc(module, name);
    ASSERT_NE(song, 0u);
    EXPECT_EQ(bgmGetSongLength(song), 1200u);
    EXPECT_EQ(bgmDeleteSong(song), 0u);
  }
  EXPECT_EQ(bgmGetSongRsc(module, "Missing"), 0u);
  EXPECT_EQ(bgmGetSongRsc(module, "Empty"), 0u);
  EXPECT_EQ(bgmGetSongRsc(nullptr, "Theme"), 0u) << "another module";
}

TEST_F(SongLoadingTest, AnAllocationFailureAnywhereLeavesNothingBehind) {
  int allocations = 0;
  {
    const QuavrSong song = loadBytes(twoTracks);
    allocations = fake::allocationCount();
    bgmDeleteSong(song);
  }
  ASSERT_GE(allocations, 8) << "image, song, table, 2 x 2 track blocks, tempo map";
  for (int failing = 1; failing <= allocations; ++failing) {
    fake::reset();
    fake::addFile("song.mid", twoTracks);
    fake::failAllocation(failing);
    EXPECT_EQ(bgmGetSongFile("song.mid"), 0u) << "allocation " << failing;
    EXPECT_EQ(fake::liveBlocks(), 0u) << "allocation " << failing;
  }
}

TEST_F(SongLoadingTest, DeleteAndLengthRefuseHandlesOfNoLoadedSong) {
  const QuavrSong song = loadBytes(twoTracks);
  const QuavrDevice device = bgmOpenMidiDev(0, 10);
  const HGLOBAL block = GlobalAlloc(GHND, sizeof(Song));
  for (std::uint32_t bad : {0u, device, block, song ^ 0x00400000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(bgmDeleteSong(bad), bad);
    EXPECT_EQ(bgmGetSongLength(bad), 0u);
  }
  EXPECT_EQ(bgmGetSongLength(song), 1200u) << "the real song is untouched";
  EXPECT_EQ(bgmDeleteSong(song), 0u);
  EXPECT_EQ(bgmDeleteSong(song), song) << "deleted twice";
  EXPECT_EQ(bgmGetSongLength(song), 0u);
  bgmCloseMidiDev(device);
  GlobalFree(block);
}

TEST_F(SongLoadingTest, ASongWhoseBlockIsResolvedIsNotDeleted) {
  const QuavrSong song = loadBytes(twoTracks);
  const std::size_t blocks = fake::liveBlocks();
  ASSERT_NE(GlobalLock(song), nullptr);  // as a device holds a bound song
  EXPECT_EQ(bgmDeleteSong(song), song);
  EXPECT_EQ(fake::liveBlocks(), blocks) << "nothing of it was freed";
  EXPECT_EQ(bgmGetSongLength(song), 1200u);
  GlobalUnlock(song);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

TEST_F(SongLoadingTest, SongsAreIndependentOfEachOther) {
  const QuavrSong a = loadBytes(twoTracks, "a.mid");
  const QuavrSong b = loadBytes(smf(96, {TrackWriter().end(960)}), "b.mid");
  EXPECT_NE(a, b);
  EXPECT_EQ(bgmGetSongLength(a), 1200u);
  EXPECT_EQ(bgmGetSongLength(b), 5000u);
  EXPECT_EQ(bgmDeleteSong(a), 0u);
  EXPECT_EQ(bgmGetSongLength(b), 5000u);
  EXPECT_EQ(bgmDeleteSong(b), 0u);
}

}  // namespace
}  // namespace quavr::test
