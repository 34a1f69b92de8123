#include "song/track_events.h"
#include "tests/core/core_test.h"
#include "tests/core/song_copy.h"

namespace quavr::test {
namespace {

using platform::GlobalSize;

class TrackExpansionTest : public CoreTest {};

TEST_F(TrackExpansionTest, ChannelMessagesExpandToPackedFourBytes) {
  const TrackCopy track = loadTrack({0x00, 0x90, 0x3C, 0x40, 0x00, 0x3E, 0x40, 0x00, 0xC0, 0x05});
  ASSERT_EQ(track.eventCount, 3u);
  EXPECT_EQ(track.dataSize, 12u);
  EXPECT_EQ(bytesOf(track),
            (std::vector<Bytes>{{0x90, 0x3C, 0x40, 0}, {0x90, 0x3E, 0x40, 0}, {0xC0, 0x05, 0, 0}}));
  for (const EventCopy& e : track.events) {
    EXPECT_EQ(e.kind, 0u);
    EXPECT_EQ(e.length, 4u);
  }
}

TEST_F(TrackExpansionTest, RunningStatusFollowsTheLastChannelStatusAndItsLength) {
  // After 90 3C 40 and C0 05, the bytes 07 08 are a program change (one data byte) followed by a
  // delta time of 8; a channel pressure D1 likewise takes one byte.
  const TrackCopy track =
      loadTrack({0x00, 0x90, 0x3C, 0x40, 0x00, 0xC0, 0x05, 0x00, 0x07, 0x08, 0xD1,
                 0x20, 0x00, 0x21, 0x00, 0xB2, 0x07, 0x64, 0x00, 0x0A, 0x40});
  EXPECT_EQ(bytesOf(track), (std::vector<Bytes>{{0x90, 0x3C, 0x40, 0},
                                                {0xC0, 0x05, 0, 0},
                                                {0xC0, 0x07, 0, 0},
                                                {0xD1, 0x20, 0, 0},
                                                {0xD1, 0x21, 0, 0},
                                                {0xB2, 0x07, 0x64, 0},
                                                {0xB2, 0x0A, 0x40, 0}}));
  EXPECT_EQ(track.events[3].tick, 8u);
}

TEST_F(TrackExpansionTest, SystemMessagesAndMetaEventsLeaveRunningStatusAlone) {
  const TrackCopy track = loadTrack({0x00, 0x93, 0x30, 0x10,  // sets 93
                                     0x00, 0xF0, 0x01, 0xF7,  // sysex
                                     0x00, 0xFF, 0x01, 0x00,  // meta
                                     0x00, 0xF7, 0x00,        // escape
                                     0x00, 0xF3, 0x02,        // song select: two bytes
                                     0x00, 0x31, 0x11});      // still 93
  ASSERT_EQ(track.events.size(), 6u);
  EXPECT_EQ(track.events[4].bytes, (Bytes{0xF3, 0x02, 0, 0}));
  EXPECT_EQ(track.events[5].bytes, (Bytes{0x93, 0x31, 0x11, 0}));
}

TEST_F(TrackExpansionTest, RunningStatusStartsAfreshForEveryTrackAndEveryLoad) {
  const Bytes first = TrackWriter().raw(0, {0xB1, 0x07, 0x64}).end();
  const Bytes leadingData = TrackWriter().raw(0, {0x3C, 0x40}).end();
  const QuavrSong song = loadBytes(smf(96, {first, leadingData}));
  const SongCopy view = inspect(song);
  ASSERT_EQ(view.tracks.size(), 2u);
  EXPECT_EQ(view.tracks[1].events[0].bytes, (Bytes{0x00, 0x3C, 0x40, 0}))
      << "no status is carried over from the previous track";
  EXPECT_EQ(bgmDeleteSong(song), 0u);
  EXPECT_EQ(loadTrack(leadingData).events[0].bytes, (Bytes{0x00, 0x3C, 0x40, 0}))
      << "nor from the previous load";
}

TEST_F(TrackExpansionTest, SysexEscapeAndMetaEventsExpandByKind) {
  const TrackCopy track = loadTrack({0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7,  // sysex
                                     0x00, 0xF7, 0x02, 0xF3, 0x01,                    // escape
                                     0x00, 0xF7, 0x00,                          // empty escape
                                     0x00, 0xF0, 0x00,                          // empty sysex
                                     0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo
                                     0x00, 0xFF, 0x2F, 0x00});
  ASSERT_EQ(track.events.size(), 6u);
  EXPECT_EQ(bytesOf(track), (std::vector<Bytes>{{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7},
                                                {0xF3, 0x01},
                                                {},
                                                {0xF0},
                                                {0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20},
                                                {0xFF, 0x2F, 0x00}}));
  const std::vector<std::uint32_t> kinds{0xF0, 0xF7, 0xF7, 0xF0, 0xFF, 0xFF};
  for (std::size_t i = 0; i < kinds.size(); ++i) EXPECT_EQ(track.events[i].kind, kinds[i]) << i;
  EXPECT_EQ(track.events[2].offset, track.events[3].offset) << "an empty event takes no room";
}

TEST_F(TrackExpansionTest, DeltaTimesAddUpToTicks) {
  const TrackCopy track = loadTrack(TrackWriter().note(96, 0, 60, 1).note(0, 0, 61, 1).end(48));
  ASSERT_EQ(track.events.size(), 3u);
  EXPECT_EQ(track.events[0].tick, 96u);
  EXPECT_EQ(track.events[1].tick, 96u);
  EXPECT_EQ(track.events[2].tick, 144u);
}

TEST(VarLenTest, ReadsQuantitiesOfAnySizeWithinTheBytes) {
  auto read = [](Bytes b) { return readVarLen(b.data(), b.data() + b.size()); };
  EXPECT_EQ(read({0x00}).value, 0u);
  EXPECT_EQ(read({0x81, 0x80, 0x00}).value, 16384u);
  EXPECT_EQ(read({0x81, 0x80, 0x00}).size, 3u);
  EXPECT_EQ(read({0xFF, 0xFF, 0xFF, 0x7F}).value, (1u << 28) - 1);
  const VarLen five = read({0x9F, 0xFF, 0xFF, 0xFF, 0x7F});
  EXPECT_EQ(five.size, 5u);
  EXPECT_EQ(five.value, 0xFFFFFFFFu) << "only the low 32 bits stay";
  const VarLen cut = read({0x81, 0x80});
  EXPECT_FALSE(cut.complete);
  EXPECT_EQ(cut.size, 2u) << "never reads past the end";
}

TEST_F(TrackExpansionTest, AnEventThatStartsInsideTheChunkIsTakenWhole) {
  // The first chunk holds 6 bytes: a text event whose 12 data bytes run 10 bytes past the chunk,
  // over the next chunk's header. It is measured whole and ends the track; the next track is
  // still read from its own header.
  const Bytes second = TrackWriter().note(0, 1, 62, 5).end();
  const Bytes file = concat(
      {header(1, 2, 96), chunk("MTrk", {0x00, 0xFF, 0x01, 0x0C, 'a', 'b'}), chunk("MTrk", second)});
  const QuavrSong song = loadBytes(file);
  const SongCopy view = inspect(song);
  ASSERT_EQ(view.tracks.size(), 2u);
  ASSERT_EQ(view.tracks[0].eventCount, 1u);
  EXPECT_EQ(view.tracks[0].events[0].length, 15u);
  EXPECT_EQ(view.tracks[0].events[0].bytes,
            concat({{0xFF, 0x01, 0x0C, 'a', 'b', 'M', 'T', 'r', 'k'}, be32(8), {0x00, 0x91}}));
  EXPECT_EQ(bytesOf(view.tracks[1]), (std::vector<Bytes>{{0x91, 62, 5, 0}, {0xFF, 0x2F, 0x00}}));
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

TEST_F(TrackExpansionTest, BytesAfterEndOfTrackAreMoreEvents) {
  const TrackCopy track = loadTrack(TrackWriter().end().note(5, 0, 60, 1));
  ASSERT_EQ(track.eventCount, 2u);
  EXPECT_EQ(track.events[1].bytes, (Bytes{0x90, 60, 1, 0}));
}

TEST_F(TrackExpansionTest, AnEmptyChunkIsATrackWithoutEvents) {
  const TrackCopy track = loadTrack({});
  EXPECT_EQ(track.eventCount, 0u);
  EXPECT_EQ(track.dataSize, 0u);
  EXPECT_EQ(track.lengthMs, 0u);
}

// Whatever a length says, nothing is read past the image, and an event that would end past it
// is left out: the track ends with the last event that fits.
TEST_F(TrackExpansionTest, AnEventRunningPastTheImageIsLeftOut) {
  struct Case {
    const char* what;
    Bytes tail;
  };
  const Case cases[] = {
      {"sysex length past the end", {0x00, 0xF0, 0x7F, 0x01, 0x02}},
      {"meta length past the end", {0x00, 0xFF, 0x01, 0x40, 'x'}},
      {"meta cut before its type", {0x00, 0xFF}},
      {"length quantity cut off", {0x00, 0xF7, 0x81}},
      {"delta time cut off", {0x81, 0x80}},
      {"three-byte message cut", {0x00, 0x90, 0x3C}},
      {"running status cut", {0x00, 0x3C}},
      {"five-byte length", {0x00, 0xF0, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
  };
  for (const Case& c : cases) {
    const Bytes body = concat({{0x00, 0x90, 0x3C, 0x40}, c.tail});
    // The chunk claims far more than the image holds.
    const Bytes file = concat({header(0, 1, 96), chunk("MTrk", body, 0xFFFFFFF0u)});
    const QuavrSong song = loadBytes(file);
    const SongCopy view = inspect(song);
    ASSERT_EQ(view.tracks.size(), 1u) << c.what;
    EXPECT_EQ(view.tracks[0].eventCount, 1u) << c.what;
    EXPECT_EQ(view.tracks[0].dataSize, 4u) << c.what;
    EXPECT_EQ(bgmDeleteSong(song), 0u);
  }
}

TEST_F(TrackExpansionTest, AHugeChunkLengthInASmallFileAllocatesLittle) {
  Bytes body(84, 0x00);  // 42 events of "delta 0, running status 00 00"
  const Bytes file = concat({header(0, 1, 96), chunk("MTrk", body, 0xFFFFFFFFu)});
  ASSERT_EQ(file.size(), 106u);
  const QuavrSong song = loadBytes(file);
  EXPECT_LT(fake::largestAllocation(), 1024u);
  EXPECT_EQ(inspect(song).tracks[0].eventCount, 28u) << "delta, then 2 bytes each";
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

}  // namespace
}  // namespace quavr::test
