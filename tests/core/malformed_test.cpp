// Malformed files, each loaded and played to its end: the documented result, no sanitizer
// report, no leaked block.
#include "tests/core/playback_fixture.h"

namespace quavr::test {
namespace {

struct Expected {
  std::uint32_t tracks;   // tracks the song has (0: not read as a MIDI file)
  std::uint32_t events;   // events of all its tracks together
  std::int64_t lengthMs;  // -1: not checked
};

struct Case {
  const char* what;
  Bytes file;
  Expected expected;
};

Bytes withChunkLength(std::uint32_t length, const Bytes& body) {
  return concat({header(1, 1, 500), chunk("MTrk", body, length)});
}

const Bytes kNote = TrackWriter().note(0, 0, 60, 100).note(100, 0, 60, 0).end(100);  // 200 ms

std::vector<Case> cases() {
  std::vector<Case> all;
  const Bytes good = smf(500, {kNote});
  for (std::size_t n = 1; n < 14; ++n) {
    all.push_back({"a file of a few bytes",
                   Bytes(good.begin(), good.begin() + static_cast<long>(n)),
                   {0, 0, 0}});
  }
  Bytes longHeader = good;
  longHeader[7] = 8;  // header length 8, but the track chunk still starts at byte 14
  all.push_back({"header length 8 with no extra bytes", longHeader, {1, 3, 200}});
  Bytes hugeHeader = good;
  hugeHeader[4] = hugeHeader[5] = hugeHeader[6] = hugeHeader[7] = 0xFF;
  all.push_back({"header length 0xFFFFFFFF", hugeHeader, {1, 3, 200}});
  all.push_back({"track count 0", concat({header(1, 0, 500), chunk("MTrk", kNote)}), {0, 0, 0}});
  all.push_back({"track count 65535, one chunk",
                 concat({header(1, 65535, 500), chunk("MTrk", kNote)}),
                 {0, 0, 0}});
  all.push_back({"more tracks than chunks",
                 concat({header(1, 3, 500), chunk("MTrk", kNote), chunk("MTrk", kNote)}),
                 {0, 0, 0}});
  all.push_back({"chunk length past the end", withChunkLength(1000, kNote), {1, 3, 200}});
  all.push_back({"chunk length 0xFFFFFFFF", withChunkLength(0xFFFFFFFF, kNote), {1, 3, 200}});
  all.push_back({"five-byte delta time",
                 smf(500, {{0x8F, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 60, 1, 0x00, 0xFF, 0x2F, 0x00}}),
                 {1, 2, 0xFFFFFFFF}});
  all.push_back({"delta time cut off at the end",
                 smf(500, {concat({kNote, Bytes{0x81, 0x80}})}),
                 {1, 3, 200}});
  all.push_back({"meta length past the track and the file",
                 smf(500, {concat({kNote, Bytes{0x00, 0xFF, 0x01, 0x7F, 'x'}})}),
                 {1, 3, 200}});
  all.push_back(
      {"sysex length past the track, inside the file",
       concat({header(1, 2, 500), chunk("MTrk", {0x00, 0xF0, 0x09, 0x01}), chunk("MTrk", kNote)}),
       {2, 1 + 3, 200}});
  for (std::uint8_t n = 0; n < 3; ++n) {
    Bytes tempo = {0xFF, 0x51, n};
    for (std::uint8_t i = 0; i < n; ++i) tempo.push_back(0x07);
    all.push_back({"set tempo with too few bytes",
                   smf(500, {TrackWriter().raw(0, tempo).end(500)}),
                   {1, 2, -1}});
  }
  all.push_back(
      {"tempo 0", smf(500, {TrackWriter().tempo(0, 0).note(1000, 0, 1, 1).end()}), {1, 3, 0}});
  all.push_back({"division 0", smf(0, {kNote}), {1, 3, 0}});
  all.push_back({"SMPTE division", smf(0xE250, {TrackWriter().end(0xE250)}), {1, 1, 500}});
  all.push_back(
      {"running status first", smf(500, {TrackWriter().raw(0, {60, 100}).end()}), {1, 2, 0}});
  all.push_back({"system bytes F1 to FE",
                 smf(500, {TrackWriter()
                               .raw(0, {0xF1, 1})
                               .raw(0, {0xF4, 2})
                               .raw(0, {0xFE, 3})
                               .raw(0, {0xF9, 4})
                               .end()}),
                 {1, 5, 0}});
  all.push_back({"no End of Track",
                 smf(500, {TrackWriter().note(0, 0, 60, 1).note(300, 0, 60, 0)}),
                 {1, 2, 300}});
  all.push_back({"data after End of Track",
                 smf(500, {concat({kNote, TrackWriter().note(50, 0, 1, 1)})}),
                 {1, 4, 250}});
  // RMID forms are unwrapped now: a data chunk whose size runs past the image gives what is there.
  all.push_back({"RIFF wrapper with a false size",
                 concat({Bytes{'R', 'I', 'F', 'F', 0xFF, 0xFF, 0xFF, 0xFF, 'R', 'M', 'I', 'D'},
                         chunk("data", good, 3)}),
                 {1, 3, 200}});
  TrackWriter longWait;  // 20 deltas of 2^28 - 1 ticks: the sum passes 2^32 at the 17th
  for (int i = 0; i < 20; ++i) longWait.note(0xFFFFFFF, 0, 1, 1);
  // At a millisecond a tick, times stop where the tick sum wrapped: 16 × (2^28 - 1).
  all.push_back({"delta ticks above 2^32", smf(500, {longWait}), {1, 20, 16ll * 0xFFFFFFF}});
  return all;
}

class MalformedTest : public PlaybackTest {};

TEST_F(MalformedTest, EachLoadsPlaysAndDeletesAsDocumented) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.what);
    const QuavrSong song = loadBytes(c.file);
    ASSERT_NE(song, 0u);
    const SongCopy view = inspect(song);
    EXPECT_EQ(view.trackCount, c.expected.tracks);
    std::uint32_t events = 0;
    for (const TrackCopy& t : view.tracks) events += t.eventCount;
    EXPECT_EQ(events, c.expected.events);
    if (c.expected.lengthMs >= 0) {
      EXPECT_EQ(view.lengthMs, c.expected.lengthMs);
    }

    const QuavrDevice device = bgmOpenMidiDev(0, 10);
    bgmPlay(device, song);
    for (int n = 0; n < 100 && bgmBgmStatus(device) == Playing; ++n) {
      tick(device);
      fake::completeAllLongMessages();
    }
    EXPECT_EQ(bgmCloseMidiDev(device), 0u);
    EXPECT_EQ(bgmDeleteSong(song), 0u);
    EXPECT_EQ(fake::liveBlocks(), 0u);
    fake::reset();
  }
}

TEST_F(MalformedTest, AnEmptyFileGivesNoSong) {
  EXPECT_EQ(loadBytes({}), 0u);
}

TEST_F(MalformedTest, TenMillionEventsLoad) {
  Bytes body;
  body.reserve(30'000'010);
  const Bytes start = {0x00, 0x90, 60, 100};
  body.insert(body.end(), start.begin(), start.end());
  for (int i = 1; i < 10'000'000; ++i) {  // delta 0, running status, two data bytes
    body.push_back(0);
    body.push_back(static_cast<std::uint8_t>(i % 128));
    body.push_back(static_cast<std::uint8_t>(i % 127 + 1));
  }
  const QuavrSong song = loadBytes(smf(96, {body}));
  ASSERT_NE(song, 0u);
  {
    Resolved<Song> s(song);
    Resolved<Track> tracks(s->trackTable);
    EXPECT_EQ(tracks[0].eventCount, 10'000'000u);
    EXPECT_EQ(tracks[0].dataSize, 40'000'000u);
  }
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

}  // namespace
}  // namespace quavr::test
