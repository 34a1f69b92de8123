// A song's events through bgmGetSongEvents: the walk is what a device plays, in any chunks, with
// each note's end; and what is refused.
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/common/reset_messages.h"
#include "tests/core/playback_fixture.h"
#include "tests/smf/game_writers.h"

namespace quavr::test {
namespace {

std::vector<QuavrSongEvent> walk(QuavrSong song, std::uint32_t chunk) {
  std::vector<QuavrSongEvent> all, part(chunk);
  for (std::int32_t got; (got = bgmGetSongEvents(song, static_cast<std::uint32_t>(all.size()),
                                                 part.data(), chunk)) > 0;) {
    all.insert(all.end(), part.begin(), part.begin() + got);
  }
  return all;
}

struct Message {
  std::uint64_t ms;
  Bytes bytes;
  friend bool operator==(const Message&, const Message&) = default;
};
struct Log {
  std::uint64_t callStart = 0;
  std::vector<Message> messages;
};

// At 8000 Hz a ms is 8 frames: a message's frame gives its song time exactly.
void QUAVR_CALL keep(void* user, std::uint32_t frame, const std::uint8_t* bytes,
                     std::uint32_t length) {
  auto* log = static_cast<Log*>(user);
  if (bytes[0] >= 0x80 && bytes[0] < 0xF0) {
    log->messages.push_back({(log->callStart + frame) / 8, Bytes(bytes, bytes + length)});
  }
}

// The channel messages a messages-only device sends playing the song to its end, with their song
// times, without the reset that follows the end.
std::vector<Message> played(QuavrSong song) {
  const QuavrDevice device = bgmOpenRenderDev(8000, "");
  Log log;
  bgmSetMessageSink(device, keep, &log);
  EXPECT_EQ(bgmPlay(device, song), 0);
  while (bgmBgmStatus(device) == Playing) {
    bgmRender(device, nullptr, 80000, 0);
    log.callStart += 80000;
  }
  bgmCloseMidiDev(device);
  std::vector<Message>& m = log.messages;
  const auto& reset = platform::resetMessages();
  const bool resetLast =
      m.size() >= reset.size() && std::equal(reset.begin(), reset.end(), m.end() - reset.size(),
                                             [](const auto& r, const Message& s) {
                                               return Bytes(r.begin(), r.end()) == s.bytes;
                                             });
  if (resetLast) m.resize(m.size() - reset.size());
  return m;
}

// Each note-on's end as the played messages give it: the next note-on or note-off of its channel
// and key; 0 where none follows.
std::vector<std::uint32_t> endsOf(const std::vector<Message>& messages) {
  std::vector<std::uint32_t> ends;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const Bytes& m = messages[i].bytes;
    if ((m[0] & 0xF0) != 0x90 || m[2] == 0) continue;
    std::uint32_t end = 0;
    for (std::size_t j = i + 1; j < messages.size() && end == 0; ++j) {
      const Bytes& n = messages[j].bytes;
      const bool note = (n[0] & 0xE0) == 0x80 && (n[0] & 0x0F) == (m[0] & 0x0F) && n[1] == m[1];
      if (note) end = static_cast<std::uint32_t>(messages[j].ms);
    }
    ends.push_back(end);
  }
  return ends;
}

std::vector<std::string> songFiles() {
  const std::string root = QUAVR_SOURCE_DIR;
  std::vector<std::string> files = {root + "/examples/ode_to_joy.mid",
                                    root + "/examples/fanfare.mid",
                                    root + "/examples/loop_theme.mid"};
  for (const char* format : {"xmi", "mus", "hmp", "hmi"}) {
    files.push_back(root + "/tests/player/formats/jingle." + format);
  }
#ifdef QUAVR_CORPUS_LIST
  std::ifstream list(QUAVR_CORPUS_LIST);  // the real songs, when the corpus was fetched
  for (std::string line; std::getline(list, line);) files.push_back(line);
#endif
  return files;
}

using SongWalkTest = PlaybackTest;

// For the example songs, the game-format songs and the corpus: the walk's channel messages are
// the messages a device sends playing the song (loops off), at the same times, each note-on
// with the end the device gives it and the bar and beat; and walks in chunks of 1, 7 and 4096 are
// the same walk.
TEST_F(SongWalkTest, TheWalkIsWhatADevicePlaysInAnyChunks) {
  for (const std::string& path : songFiles()) {
    SCOPED_TRACE(path);
    std::ifstream file(path, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const QuavrSong song = bgmGetSongMem(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    ASSERT_NE(song, 0u);
    bgmSetLoopStyle(song, 0);
    const std::vector<QuavrSongEvent> events = walk(song, 4096);
    ASSERT_EQ(events.size(), bgmGetSongInfo(song, QUAVR_INFO_EVENTS, 0));
    std::vector<Message> messages;
    std::vector<std::uint32_t> ends;
    for (const QuavrSongEvent& e : events) {
      if (e.status < 0x80 || e.status >= 0xF0) continue;
      const std::uint8_t all[3] = {e.status, e.data[0], e.data[1]};
      messages.push_back({e.timeMs, Bytes(all, all + e.length)});
      if ((e.status & 0xF0) == 0x90 && e.data[1] != 0) ends.push_back(e.endMs);
    }
    const std::vector<Message> sent = played(song);
    EXPECT_TRUE(messages == sent) << messages.size() << " walked, " << sent.size() << " played";
    EXPECT_EQ(ends, endsOf(sent));
    // Each event's bar and beat are the device's after a seek to its time.
    const QuavrDevice device = bgmOpenRenderDev(8000, "");
    bgmPlay(device, song);
    for (std::size_t i = 0; i < events.size(); i += 1 + events.size() / 64) {
      if (bgmSeek(device, events[i].timeMs) != 0) continue;
      EXPECT_EQ(events[i].barBeat, bgmGetPlayInfo(device, QUAVR_PLAY_BAR_BEAT)) << "event " << i;
    }
    bgmCloseMidiDev(device);
    if (events.size() <= 20000) {
      for (const std::uint32_t chunk : {1u, 7u}) {
        // A fresh copy: its order merged on as this walk reads.
        const QuavrSong fresh =
            bgmGetSongMem(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        const std::vector<QuavrSongEvent> again = walk(fresh, chunk);
        EXPECT_EQ(bgmDeleteSong(fresh), 0u);
        EXPECT_TRUE(again.size() == events.size() &&
                    std::memcmp(again.data(), events.data(), events.size() * sizeof events[0]) == 0)
            << "in chunks of " << chunk;
      }
    }
    EXPECT_EQ(bgmDeleteSong(song), 0u);
  }
}

// Two notes of one key that overlap end where the device ends them, at the next note of that
// key: a second note-on ends the first, whichever track has it; another channel's does not.
TEST_F(SongWalkTest, ANoteEndsAtTheNextNoteOfItsKey) {
  const QuavrSong s = song({TrackWriter()
                                .note(0, 0, 60, 100)   // 0: ends at 100, the note-on below
                                .note(100, 0, 60, 90)  // 100: ends at 200
                                .note(100, 0, 60, 0)   // 200: a note-off by velocity 0
                                .note(100, 0, 60, 0)   // 300: ends nothing
                                .note(0, 0, 62, 100)   // 300: ends at 450, in the other track
                                .note(0, 1, 62, 100)   // 300: no end at all
                                .end(),
                            TrackWriter().note(450, 0, 62, 100).end()});  // 450: no end
  std::vector<std::uint32_t> ends;
  for (const QuavrSongEvent& e : walk(s, 4096)) {
    if (e.status >> 4 == 9 && e.data[1] != 0) ends.push_back(e.endMs);
  }
  EXPECT_EQ(ends, (std::vector<std::uint32_t>{100, 200, 450, 0, 0}));
}

// `first` past the end, `count` 0 and no buffer give nothing and write nothing (bad handles: with
// every export's); the data comes by snprintf's rules; a collection walks its selected song.
TEST_F(SongWalkTest, WhatIsRefusedAndWhatIsWalked) {
  const QuavrSong s =
      song({TrackWriter().sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7}).note(10, 0, 60, 100).end()});
  QuavrSongEvent events[4];
  std::memset(events, 0xAB, sizeof events);
  EXPECT_EQ(bgmGetSongEvents(s, 0, nullptr, 4), -1);
  EXPECT_EQ(bgmGetSongEvents(s, 0, events, 0), 0);
  EXPECT_EQ(bgmGetSongEvents(s, 3, events, 4), 0);
  EXPECT_EQ(bgmGetSongEvents(s, 0xFFFFFFFFu, events, 4), 0);
  EXPECT_EQ(events[0].timeMs, 0xABABABABu) << "nothing written";
  EXPECT_EQ(bgmGetSongEventData(s, 3, nullptr, 0), -1);
  EXPECT_EQ(bgmGetSongInfo(0xDEAD0000u, QUAVR_INFO_TEMPO, 0), QUAVR_NONE);
  ASSERT_EQ(bgmGetSongEvents(s, 0, events, 4), 3);
  EXPECT_EQ(events[0].status, 0xF0);
  std::uint8_t data[8] = {};
  EXPECT_EQ(bgmGetSongEventData(s, 0, data, 3), 5) << "the data after F0, F7 included";
  EXPECT_EQ(Bytes(data, data + 4), (Bytes{0x7E, 0x7F, 0, 0}));
  EXPECT_EQ(events[2].status, 0xFF);
  EXPECT_EQ(events[2].type, 0x2F);

  const Bytes one = XmiEvents().note(0, 60, 100, 30).end();
  const Bytes two = XmiEvents().delay(60).note(1, 70, 100, 60).end();
  const Bytes collection = xmiCollection({xmiSong(one), xmiSong(two)});
  const QuavrSong xmi =
      bgmGetSongMem(collection.data(), static_cast<std::uint32_t>(collection.size()));
  songs_.push_back(xmi);
  ASSERT_EQ(bgmGetSongEvents(xmi, 0, events, 4), 3);
  ASSERT_EQ(bgmSelectSong(xmi, 1), 0);
  ASSERT_EQ(bgmGetSongEvents(xmi, 0, events, 4), 3);
  EXPECT_EQ(events[0].timeMs, 500u) << "song 1's note, at 60 ticks of 120 a second";
  EXPECT_EQ(events[0].endMs, 1000u);
  EXPECT_EQ(bgmGetSongInfo(xmi, QUAVR_INFO_TICK_RATE, 0), 120u);
}

}  // namespace
}  // namespace quavr::test
