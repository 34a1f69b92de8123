// Extended MIDI, MUS, HMP and HMI songs: recognised by their bytes, their events and times as
// worked out by hand (the times at each format's tick rate, truncated to whole ms).
#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "tests/core/core_test.h"
#include "tests/core/song_copy.h"
#include "tests/smf/game_writers.h"

namespace quavr::test {
namespace {

struct Timed {
  std::uint32_t tick, ms;
  Bytes bytes;
  friend bool operator==(const Timed&, const Timed&) = default;
  friend std::ostream& operator<<(std::ostream& out, const Timed& e) {
    out << "{" << e.tick << ", " << e.ms << ", {";
    for (auto b : e.bytes) out << std::hex << int{b} << std::dec << " ";
    return out << "}}";
  }
};

std::vector<Timed> timed(const TrackCopy& track) {
  std::vector<Timed> out;
  for (const EventCopy& e : track.events) out.push_back({e.tick, e.timeMs, e.bytes});
  return out;
}

// A channel message as the song stores it: four bytes.
Bytes msg(std::uint8_t s, std::uint8_t a, std::uint8_t b = 0) {
  return {s, a, b, 0};
}
const Bytes kEnd{0xFF, 0x2F, 0x00};
Bytes tempo(std::uint32_t us) {
  return {0xFF, 0x51, 0x03, std::uint8_t(us >> 16), std::uint8_t(us >> 8), std::uint8_t(us)};
}

QuavrSong loadMem(const Bytes& bytes) {
  return bgmGetSongMem(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}

class GameFormatsTest : public CoreTest {
 protected:
  // Delays of 0, 127, 128 (7F 01) and 600 (127 × 4 + 92); a duration of 0; two notes on one key
  // that overlap; a second set-tempo event; velocity 0 as a note-off.
  const Bytes xmiA = XmiEvents()
                         .raw(tempo(500000))
                         .note(0, 60, 100, 0)
                         .delay(127)
                         .note(0, 62, 90, 200)
                         .delay(128)
                         .raw(tempo(1000000))
                         .note(0, 62, 80, 100)
                         .delay(600)
                         .control(1, 7, 100)
                         .note(1, 50, 0, 9)
                         .end();
  const std::vector<Timed> xmiAEvents = {
      {0, 0, tempo(500000)},
      {0, 0, msg(0x90, 60, 100)},
      {1, 8, msg(0x80, 60)},  // duration 0 counts as 1: 1000 / 120 ms
      {127, 1058, msg(0x90, 62, 90)},
      {254, 2116, msg(0x80, 62)},  // cut one tick before the same key starts again
      {255, 2125, tempo(1000000)},
      {255, 2125, msg(0x90, 62, 80)},
      {355, 2958, msg(0x80, 62)},
      {855, 7125, msg(0xB1, 7, 100)},
      {855, 7125, msg(0x81, 50)},
      {855, 7125, kEnd},
  };
  // Loop controllers come through as the controllers they are; a note held past the song's
  // end moves the end of the track to its note-off.
  const Bytes xmiB = XmiEvents()
                         .control(0, 116, 3)
                         .note(0, 64, 100, 240)
                         .delay(120)
                         .control(0, 117, 127)
                         .delay(10)
                         .end();
  const std::vector<Timed> xmiBEvents = {{0, 0, msg(0xB0, 116, 3)},
                                         {0, 0, msg(0x90, 64, 100)},
                                         {120, 1000, msg(0xB0, 117, 127)},
                                         {240, 2000, msg(0x80, 64)},
                                         {240, 2000, kEnd}};
};

TEST_F(GameFormatsTest, XmiCollectionPlaysOneSongAtATime) {
  const QuavrSong song = loadMem(xmiCollection({xmiSong(xmiA, {0, 1, 2, 3}), xmiSong(xmiB)}));
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_FORMAT, 0), QUAVR_FORMAT_XMI);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_SONGS, 0), 2u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_DIVISION, 0), 60u);
  const SongCopy first = inspect(song);
  ASSERT_EQ(first.tracks.size(), 1u);
  EXPECT_EQ(timed(first.tracks[0]), xmiAEvents);
  EXPECT_EQ(bgmGetSongLength(song), 7125u);

  EXPECT_EQ(bgmSelectSong(song, 1), 0);
  const SongCopy second = inspect(song);
  ASSERT_EQ(second.tracks.size(), 1u);
  EXPECT_EQ(timed(second.tracks[0]), xmiBEvents);
  EXPECT_EQ(bgmGetSongLength(song), 2000u);
  // For/Next loops play by default in an Extended MIDI song, and the styles outlive a select.
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_STYLE, 0), QUAVR_LOOP_XMI);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOPS, 0), 1u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, 0), 0u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, 0), 1000u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_COUNT, 0), 3u);
  EXPECT_EQ(bgmSelectSong(song, 2), -1);
  EXPECT_EQ(bgmSelectSong(0xDEAD0000u, 0), -1);
  EXPECT_EQ(bgmSelectSong(song, 0), 0);
  EXPECT_EQ(inspect(song), first) << "song 0 again, as loaded";

  const QuavrDevice device = bgmOpenMidiDev(0, 10);
  ASSERT_EQ(bgmPlay(device, song), 0);
  EXPECT_EQ(bgmSelectSong(song, 1), -1) << "bound to a device";
  bgmStop(device);
  bgmCloseMidiDev(device);
  EXPECT_EQ(bgmSelectSong(song, 1), 0);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

TEST_F(GameFormatsTest, XmiBareFormAndPaddedChunks) {
  // A bare form, an odd chunk ahead of the events with its pad byte, and a file named as
  // something else: the bytes decide.
  Bytes odd = xmiSong(xmiB, {}, {1, 0, 7});
  const QuavrSong song = loadBytes(odd, "music.mid");
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_FORMAT, 0), QUAVR_FORMAT_XMI);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_SONGS, 0), 1u);
  const SongCopy view = inspect(song);
  ASSERT_EQ(view.tracks.size(), 1u);
  EXPECT_EQ(timed(view.tracks[0]), xmiBEvents);
  EXPECT_EQ(bgmSelectSong(song, 0), 0);
  EXPECT_EQ(bgmSelectSong(song, 1), -1);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

// The RBRN chunk's branch points are kept as listed, those it holds whole; they go with the song.
TEST_F(GameFormatsTest, XmiBranchPointsAreKept) {
  const auto branchesOf = [](QuavrSong song) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> out;
    Resolved<Song> record(song);
    Resolved<BranchPoint> branches(record->branchBlock);
    for (std::uint32_t b = 0; b < record->branchCount; ++b)
      out.push_back({branches[b].id, branches[b].offset});
    return out;
  };
  using Branches = std::vector<std::pair<std::uint32_t, std::uint32_t>>;
  // Three listed, two whole (the last lacks a byte), an odd chunk with its pad byte.
  const Bytes rbrn = {3, 0, 2, 0, 6, 0, 0, 0, 9, 1, 0x10, 0x20, 0, 0, 4, 0, 1, 2, 3};
  const QuavrSong song = loadMem(xmiCollection({xmiSong(xmiB), xmiSong(xmiB, {}, rbrn)}));
  EXPECT_EQ(branchesOf(song), Branches{});
  ASSERT_EQ(bgmSelectSong(song, 1), 0);
  EXPECT_EQ(branchesOf(song), (Branches{{2, 6}, {0x109, 0x2010}}));
  EXPECT_EQ(timed(inspect(song).tracks[0]), xmiBEvents);
  // Timed at the event their offset falls in; past the events, none. A nominal 4/4 of 500 ms.
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_BRANCH_TIME, 0), 0u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_BRANCH_TIME, 1), QUAVR_NONE);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_BRANCH_ID, 1), 0x109u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_METER, 0), 0x0404u | QUAVR_METER_NOMINAL);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_BEAT_TIME, 3), 1500u);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
  const QuavrSong later = loadMem(xmiSong(xmiB, {}, {1, 0, 5, 0, 12, 0, 0, 0}));
  EXPECT_EQ(bgmGetSongInfo(later, QUAVR_INFO_BRANCH_TIME, 0), 1000u) << "after 120 ticks";
  EXPECT_EQ(bgmDeleteSong(later), 0u);
}

TEST_F(GameFormatsTest, MusEveryEventType) {
  using E = std::vector<Timed>;
  MusScore score;
  score
      .event(1, 0, {60 | 0x80, 200})  // volume 200: 127
      .event(1, 1, {62})              // no volume yet: 127
      .event(0, 0, {60}, 140)
      .event(2, 1, {0})
      .event(2, 1, {128})
      .event(2, 1, {255}, 70);
  for (std::uint8_t s = 10; s <= 14; ++s) score.event(3, 0, {s});
  score.event(3, 0, {9});  // no system event: nothing
  for (std::uint8_t c = 0; c <= 9; ++c) score.event(4, 0, {c, std::uint8_t(c == 3 ? 200 : c)});
  score.event(4, 0, {10, 1}).event(5, 0, {}).event(1, 0, {61}).event(1, 15, {36 | 0x80, 50}, 1);
  // Ten more channels in a mixed order: MIDI channels by first use, 10 (index 9) skipped.
  const std::uint8_t others[] = {10, 9, 8, 7, 6, 5, 4, 3, 2};
  for (std::uint8_t c : others) score.event(1, c, {40});
  score.event(7, 0, {}).event(1, 0, {1});  // an unknown type ends the score
  const QuavrSong song = loadMem(mus(score, {0, 1, 135}));
  E expected = {{0, 0, msg(0x90, 60, 127)},    {0, 0, msg(0x91, 62, 127)},
                {0, 0, msg(0x80, 60)},         {140, 1000, msg(0xE1, 0, 0)},
                {140, 1000, msg(0xE1, 0, 64)}, {140, 1000, msg(0xE1, 0x40, 0x7F)}};
  for (std::uint8_t c : {120, 123, 126, 127, 121}) expected.push_back({210, 1500, msg(0xB0, c)});
  expected.push_back({210, 1500, msg(0xC0, 0)});
  const std::uint8_t controllers[] = {0, 1, 7, 10, 11, 91, 93, 64, 67};
  for (std::uint8_t c = 1; c <= 9; ++c)
    expected.push_back({210, 1500, msg(0xB0, controllers[c - 1], c == 3 ? 127 : c)});
  expected.push_back({210, 1500, msg(0x90, 61, 127)});  // the channel's last volume
  expected.push_back({210, 1500, msg(0x99, 36, 50)});
  const std::uint8_t midi[] = {2, 3, 4, 5, 6, 7, 8, 10, 11};
  for (std::uint8_t m : midi) expected.push_back({211, 1507, msg(0x90 | m, 40, 127)});
  expected.push_back({211, 1507, kEnd});
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_FORMAT, 0), QUAVR_FORMAT_MUS);
  const SongCopy view = inspect(song);
  ASSERT_EQ(view.tracks.size(), 1u);
  EXPECT_EQ(timed(view.tracks[0]), expected);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

TEST_F(GameFormatsTest, SameBytesLoadTwiceAlikeAndStayUnchanged) {
  for (const Bytes& file :
       {mus(MusScore().event(1, 3, {60 | 0x80, 90}, 5).event(4, 3, {3, 200}).end()),
        xmiFile(xmiA)}) {
    const Bytes before = file;
    const QuavrSong first = loadMem(file), second = loadMem(file);
    EXPECT_EQ(inspect(first), inspect(second));
    EXPECT_EQ(file, before);
    EXPECT_EQ(bgmDeleteSong(first), 0u);
    EXPECT_EQ(bgmDeleteSong(second), 0u);
  }
}

TEST_F(GameFormatsTest, HmpReversedDelaysInBothVersions) {
  // Delays 1 (81), 127 (FF), 255 (7F 81) and 65 537 (01 00 84): least significant group first.
  const Bytes body = concat({{0x81, 0x90, 60, 100},
                             {0xFF, 60, 0},  // running status
                             {0x7F, 0x81, 0xC0, 5},
                             {0x01, 0x00, 0x84, 0xFF, 0x2F, 0x00}});
  const Bytes second = concat({{0x80, 0xB9, 7, 90, 0x80, 0xFF, 0x2F, 0x00}});
  for (int version : {1, 2}) {
    const std::uint32_t rate = version == 1 ? 120 : 60;
    const QuavrSong song = loadMem(hmp(version, rate, {body, second}));
    EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_FORMAT, 0), QUAVR_FORMAT_HMP);
    const SongCopy view = inspect(song);
    ASSERT_EQ(view.tracks.size(), 2u);
    const auto ms = [&](std::uint32_t tick) { return std::uint32_t(tick * 1000ull / rate); };
    const std::vector<Timed> expected = {{1, ms(1), msg(0x90, 60, 100)},
                                         {128, ms(128), msg(0x90, 60, 0)},
                                         {383, ms(383), msg(0xC0, 5)},
                                         {65920, ms(65920), kEnd}};
    EXPECT_EQ(timed(view.tracks[0]), expected) << "version " << version;
    EXPECT_EQ(timed(view.tracks[1]), (std::vector<Timed>{{0, 0, msg(0xB9, 7, 90)}, {0, 0, kEnd}}));
    EXPECT_EQ(bgmGetSongLength(song), version == 1 ? 549333u : 1098666u);
    EXPECT_EQ(bgmDeleteSong(song), 0u);
  }
}

TEST_F(GameFormatsTest, HmiNotesCarryTheirDurations) {
  const Bytes body = concat({{0x00, 0x90, 60, 100},
                             vlq(240),
                             {0x64, 0x90, 60, 80},
                             vlq(0),                                             // overlaps: cut
                             {0x00, 0xFE, 0x10, 0, 0, 2, 0, 0, 0, 0, 'a', 'b'},  // the format's own
                             {0x14, 0xB0, 7, 100},
                             {0x00, 64, 127},  // running status
                             {0x00, 0xFF, 0x2F, 0x00}});
  const QuavrSong song = loadMem(hmi(60, {body}));
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_FORMAT, 0), QUAVR_FORMAT_HMI);
  const SongCopy view = inspect(song);
  ASSERT_EQ(view.tracks.size(), 1u);
  const std::vector<Timed> expected = {
      {0, 0, msg(0x90, 60, 100)}, {99, 1650, msg(0x80, 60)},      {100, 1666, msg(0x90, 60, 80)},
      {101, 1683, msg(0x80, 60)}, {120, 2000, msg(0xB0, 7, 100)}, {120, 2000, msg(0xB0, 64, 127)},
      {120, 2000, kEnd}};
  EXPECT_EQ(timed(view.tracks[0]), expected);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

// HMP and HMI songs load every track their headers name that the file holds, 200 here; a
// track an HMI directory names again, 1000 times here, is read once.
TEST_F(GameFormatsTest, EveryTrackTheHeaderNamesLoads) {
  std::vector<Bytes> hmpBodies, hmiBodies;
  for (std::uint8_t t = 0; t < 200; ++t) {
    const Bytes cc7 = {static_cast<std::uint8_t>(0xB0 | t % 16), 7, t};
    hmpBodies.push_back(concat({{0x80}, cc7, {0x80, 0xFF, 0x2F, 0}}));
    hmiBodies.push_back(concat({{0x00}, cc7, {0x00, 0xFF, 0x2F, 0}}));
  }
  Bytes named = hmi(120, {hmiBodies[5]});  // its one directory entry at 0x172, made 1000
  const Bytes entry = le32((named[0x172] | named[0x173] << 8) + 999 * 4);
  Bytes directory;
  for (int i = 0; i < 1000; ++i) directory = concat({directory, entry});
  named = concat({Bytes(named.begin(), named.begin() + 0x172), directory,
                  Bytes(named.begin() + 0x176, named.end())});
  named[0xE4] = 1000 & 0xFF, named[0xE5] = 1000 >> 8;
  for (const auto& [file, tracks, first, last] :
       {std::tuple{hmp(1, 120, hmpBodies), 200u, msg(0xB0, 7, 0), msg(0xB7, 7, 199)},
        std::tuple{hmp(2, 120, hmpBodies), 200u, msg(0xB0, 7, 0), msg(0xB7, 7, 199)},
        std::tuple{hmi(120, hmiBodies), 200u, msg(0xB0, 7, 0), msg(0xB7, 7, 199)},
        std::tuple{named, 1000u, msg(0xB5, 7, 5), kEnd}}) {
    const QuavrSong song = loadMem(file);
    const SongCopy view = inspect(song);
    ASSERT_EQ(view.tracks.size(), tracks);
    EXPECT_EQ(timed(view.tracks.front()).front().bytes, first);
    EXPECT_EQ(timed(view.tracks.back()).front().bytes, last);
    EXPECT_EQ(bgmDeleteSong(song), 0u);
  }
}

// Every prefix of a file loads, reading nothing past its end: a song of what could be read,
// whose events (but its end) lead the whole song's where no duration is involved.
// HMP and HMI songs load with their own loop on: controller 110 to 111, here 1 s to 2 s.
TEST_F(GameFormatsTest, HmpAndHmiLoopFrom110To111) {
  const Bytes hmpBody = {0x80, 0x90, 60,   100,  0xF8, 0xB0, 110,  0,    0xF8, 0xB0,
                         111,  0,    0x80, 0x80, 60,   0,    0x80, 0xFF, 0x2F, 0};
  const Bytes hmiBody = concat({{0x00, 0x90, 60, 100},
                                vlq(300),
                                {0x78, 0xB0, 110, 0, 0x78, 0xB0, 111, 0},
                                {0x00, 0xFF, 0x2F, 0}});
  for (const Bytes& file : {hmp(2, 120, {hmpBody}), hmi(120, {hmiBody})}) {
    const QuavrSong song = loadMem(file);
    EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_STYLE, 0), QUAVR_LOOP_CC110_111);
    EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, 0), 1000u);
    EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, 0), 2000u);
    EXPECT_EQ(bgmSetLoopStyle(song, 0), 0);
    EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, 0), QUAVR_NONE)
        << "the host's choice holds";
    EXPECT_EQ(bgmDeleteSong(song), 0u);
  }
}

TEST_F(GameFormatsTest, EveryTruncationLoads) {
  const std::vector<std::pair<Bytes, bool>> files = {
      {xmiCollection({xmiSong(xmiA), xmiSong(xmiB)}), false},
      {mus(MusScore()
               .event(1, 0, {60 | 0x80, 90}, 300)
               .event(0, 0, {60}, 2)
               .event(2, 0, {3})
               .end()),
       true},
      {hmp(2, 120, {concat({{0x81, 0x90, 60, 100, 0x7F, 0x81, 60, 0, 0x80, 0xFF, 0x2F, 0}})}),
       true},
      {hmi(120, {concat({{0x00, 0x90, 60, 100}, vlq(300), {0x10, 0xC0, 3, 0, 0xFF, 0x2F, 0}})}),
       false}};
  for (const auto& [file, prefixes] : files) {
    const QuavrSong whole = loadMem(file);
    const SongCopy full = inspect(whole);
    for (std::size_t size = 1; size < file.size(); ++size) {
      // Exactly `size` bytes in a block of their own, so a read past them is caught.
      const Bytes cut(file.begin(), file.begin() + size);
      const QuavrSong song = loadMem(cut);
      ASSERT_NE(song, 0u) << size;
      const SongCopy part = inspect(song);
      if (prefixes && !part.tracks.empty() && !full.tracks.empty()) {
        const auto& events = part.tracks[0].events;
        for (std::size_t i = 0; i + 1 < events.size(); ++i)
          EXPECT_EQ(events[i].bytes, full.tracks[0].events[i].bytes) << size << " " << i;
      }
      EXPECT_EQ(bgmDeleteSong(song), 0u);
    }
    EXPECT_EQ(bgmDeleteSong(whole), 0u);
  }
}

// Random Extended MIDI tracks against a plain model of the note-off rules: each note ends at its
// duration (0 counts as 1), or one tick before the next note on its channel and key starts while
// it sounds (when that is its own tick, right after its note-on);
// note-offs go before the other events of their tick, those of one tick in the order of their
// notes. Half the tracks hold long notes whose ends come in reverse order, bunched together.
TEST_F(GameFormatsTest, NoteOffsMergeAsAPlainModelPlacesThem) {
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    const bool reversed = round % 2 == 1;
    const int notes = 1 + static_cast<int>(random() % 400);
    XmiEvents events;
    // The model: (tick, rank, order) sorts every event; rank 0 note-offs, 1 the track's own.
    using Key = std::tuple<std::uint32_t, int, std::uint64_t>;
    std::vector<std::pair<Key, Bytes>> model;
    struct Sounding {
      std::size_t model;  // its note-off's entry
      std::uint32_t on;
    };
    std::map<int, Sounding> sounding;
    std::uint32_t tick = 0, own = 0;
    for (int n = 0; n < notes; ++n) {
      const auto channel = static_cast<std::uint8_t>(random() % 3);
      const auto key = static_cast<std::uint8_t>(60 + random() % 4);
      const std::uint32_t duration =
          reversed ? 100000 - 3 * tick : static_cast<std::uint32_t>(random() % 40);
      events.note(channel, key, 100, duration);
      model.push_back({{tick, 1, std::uint64_t{own++} << 1}, msg(0x90 | channel, key, 100)});
      const auto it = sounding.find(channel * 128 + key);
      if (it != sounding.end()) {
        Key& off = model[it->second.model].first;
        if (std::get<0>(off) > tick) {
          if (it->second.on + 1 >= tick) {  // at its own tick: right after its note-on
            off = Key{it->second.on, 1, std::get<2>(model[it->second.model - 1].first) | 1};
          } else {
            std::get<0>(off) = tick - 1;
          }
        }
      }
      sounding[channel * 128 + key] = {model.size(), tick};
      model.push_back({{tick + std::max(duration, 1u), 0, static_cast<std::uint64_t>(n)},
                       msg(0x80 | channel, key)});
      if (random() % 4 == 0) {
        events.control(channel, 7, 90);
        model.push_back({{tick, 1, std::uint64_t{own++} << 1}, msg(0xB0 | channel, 7, 90)});
      }
      const std::uint32_t delay = reversed ? 1 : static_cast<std::uint32_t>(random() % 12);
      events.delay(delay);
      tick += delay;
    }
    events.end();
    std::stable_sort(model.begin(), model.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Timed> expected;
    for (const auto& [key, bytes] : model) {
      const std::uint32_t at = std::get<0>(key);
      expected.push_back({at, at * 1000 / 120, bytes});
    }
    const std::uint32_t last = std::max(tick, expected.back().tick);
    expected.push_back({last, last * 1000 / 120, kEnd});

    const QuavrSong song = loadMem(xmiFile(events));
    const SongCopy view = inspect(song);
    ASSERT_EQ(view.tracks.size(), 1u);
    EXPECT_EQ(bgmDeleteSong(song), 0u);
    const std::vector<Timed> loaded = timed(view.tracks[0]);
    ASSERT_EQ(loaded.size(), expected.size()) << "round " << round;
    for (std::size_t i = 0; i < loaded.size(); ++i)
      ASSERT_EQ(loaded[i], expected[i]) << "round " << round << ", event " << i;
  }
}

// A load whose working arrays or blocks cannot be made gives no song and leaves no block.
TEST_F(GameFormatsTest, AnAllocationFailureAnywhereLeavesNothingBehind) {
  XmiEvents events;
  for (int n = 0; n < 300; ++n)
    events.note(0, static_cast<std::uint8_t>(40 + n % 9), 90, 50).delay(3);
  const Bytes file = xmiFile(events.end());
  int allocations = 0;
  {
    const QuavrSong song = loadMem(file);
    allocations = fake::allocationCount();
    bgmDeleteSong(song);
  }
  for (int failing = 1; failing <= allocations; ++failing) {
    fake::reset();
    fake::failAllocation(failing);
    EXPECT_EQ(loadMem(file), 0u) << "allocation " << failing;
    EXPECT_EQ(fake::liveBlocks(), 0u) << "allocation " << failing;
  }
}

TEST_F(GameFormatsTest, KaraokeTextsAreLyrics) {
  const auto text = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  const Bytes kar = smf(96, {TrackWriter().meta(0, 0x01, text("@KMIDI KARAOKE FILE")).end(),
                             TrackWriter()
                                 .meta(0, 0x01, text("@TTitle"))
                                 .meta(96, 0x01, text("\\Hel"))
                                 .meta(48, 0x01, text("lo"))
                                 .end()});
  const QuavrSong song = loadMem(kar);
  char buffer[16];
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LYRICS, 0), 2u);
  EXPECT_EQ(bgmGetSongText(song, QUAVR_TEXT_LYRIC, 1, buffer, sizeof buffer), 2);
  EXPECT_STREQ(buffer, "lo");
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LYRIC_TIME, 0), 500u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LYRIC_TIME, 1), 750u);
  EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LYRIC_TIME, 2), QUAVR_NONE);
  // Without a header line, text events are not lyrics; lyric events always are.
  const QuavrSong plain =
      loadMem(smf(96, {TrackWriter().meta(0, 0x01, text("Hel")).meta(96, 0x05, text("la")).end()}));
  EXPECT_EQ(bgmGetSongInfo(plain, QUAVR_INFO_LYRICS, 0), 1u);
  EXPECT_EQ(bgmGetSongInfo(plain, QUAVR_INFO_LYRIC_TIME, 0), 500u);
  EXPECT_EQ(bgmGetSongInfo(plain, QUAVR_INFO_SONGS, 0), 1u);
  EXPECT_EQ(bgmSelectSong(plain, 1), -1);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
  EXPECT_EQ(bgmDeleteSong(plain), 0u);
}

}  // namespace
}  // namespace quavr::test
