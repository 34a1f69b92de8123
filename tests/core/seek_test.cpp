// The seek: for random songs and targets, the port's channel state after a seek (from wherever
// the song stood) equals the state playing from the start to the target leaves, and what is due
// at the target goes out with the next tick.
#include <algorithm>
#include <array>
#include <map>
#include <random>

#include "tests/core/playback_fixture.h"

namespace quavr::test {
namespace {

// What a synthesizer keeps per channel from the messages it is sent.
struct Channel {
  std::array<int, 120> cc{};
  int program = 0, bankMsb = 0, bankLsb = 0;  // the bank as it stood when the program came
  int bend = 8192, pressure = 0;
  int lastSelect = -1;                     // the select controller written last
  std::map<int, std::array<int, 4>> data;  // parameter → CC6, CC38, CC96, CC97 (-1: never)
  Channel() { cc[7] = 100, cc[10] = 64, cc[11] = 127; }
  int parameter() const {
    if (lastSelect < 0) return -1;
    const bool nrpn = lastSelect == 98 || lastSelect == 99;
    const int msb = cc[nrpn ? 99 : 101], lsb = cc[nrpn ? 98 : 100];
    return msb == 127 && lsb == 127 ? -1 : (nrpn ? 0x4000 : 0) | msb << 7 | lsb;
  }
};

struct Synth {
  std::array<Channel, 16> channels;
  void apply(const fake::Record& r) {
    if (r.kind == fake::Record::Reset) {
      for (Channel& c : channels) c.cc[64] = c.cc[66] = c.cc[67] = c.cc[69] = 0;
    }
    if (r.kind != fake::Record::Short) return;
    const int status = r.message & 0xFF, d1 = r.message >> 8 & 0xFF, d2 = r.message >> 16 & 0xFF;
    Channel& c = channels[status & 0x0F];
    switch (status & 0xF0) {
      case 0xB0:
        if (d1 == 6 || d1 == 38 || d1 == 96 || d1 == 97) {
          if (c.parameter() < 0) break;
          auto [at, added] = c.data.try_emplace(c.parameter(), std::array<int, 4>{-1, -1, -1, -1});
          at->second[d1 == 6 ? 0 : d1 == 38 ? 1 : d1 == 96 ? 2 : 3] = d2;
        } else if (d1 < 120) {
          c.cc[d1] = d2;
          if (d1 >= 98 && d1 <= 101) c.lastSelect = d1;
        }
        break;
      case 0xC0:
        c.program = d1, c.bankMsb = c.cc[0], c.bankLsb = c.cc[32];
        break;
      case 0xD0:
        c.pressure = d1;
        break;
      case 0xE0:
        c.bend = d1 | d2 << 7;
        break;
    }
  }
};

Synth interpret(const std::vector<fake::Record>& records) {
  Synth s;
  for (const fake::Record& r : records) s.apply(r);
  return s;
}

// The state `got` must match `want` in: every controller, instrument, bend, pressure, the
// parameter in force once one was selected, and each data value the target's state holds
// (a seek cannot know what a parameter the song sets only later held before it).
void expectSameState(const Synth& want, const Synth& got, const std::string& where) {
  for (int ch = 0; ch < 16; ++ch) {
    const Channel& w = want.channels[ch];
    const Channel& g = got.channels[ch];
    const std::string at = where + " channel " + std::to_string(ch);
    for (int n = 0; n < 120; ++n) {
      if (n == 6 || n == 38 || n == 96 || n == 97) continue;
      EXPECT_EQ(g.cc[n], w.cc[n]) << at << " controller " << n;
    }
    EXPECT_EQ(std::tie(g.program, g.bankMsb, g.bankLsb), std::tie(w.program, w.bankMsb, w.bankLsb))
        << at << " program";
    EXPECT_EQ(g.bend, w.bend) << at;
    EXPECT_EQ(g.pressure, w.pressure) << at;
    if (w.lastSelect >= 0) {
      EXPECT_EQ(g.parameter(), w.parameter()) << at << " parameter";
    }
    for (const auto& [number, values] : w.data) {
      const auto found = g.data.find(number);
      ASSERT_NE(found, g.data.end()) << at << " parameter " << number;
      for (int i = 0; i < 4; ++i) {
        if (values[i] >= 0) {
          EXPECT_EQ(found->second[i], values[i]) << at << " parameter " << number;
        }
      }
    }
  }
}

// A random song: a few tracks of channel messages of every kind on four channels (few values,
// so writes collide), sysex, and tempo changes; every delta small, so times coincide.
std::vector<Bytes> randomSong(std::mt19937& rng) {
  const auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
  static const std::uint8_t kControllers[] = {0,  32, 1,   7,   10, 11, 64, 66, 67, 69, 91,
                                              98, 99, 100, 101, 6,  38, 96, 97, 6,  38};
  std::vector<Bytes> tracks;
  const int count = 1 + pick(4);
  for (int t = 0; t < count; ++t) {
    TrackWriter w;
    const int events = 20 + pick(120);
    for (int i = 0; i < events; ++i) {
      const std::uint32_t delta = static_cast<std::uint32_t>(pick(4) == 0 ? 0 : pick(40));
      const auto ch = static_cast<std::uint8_t>(pick(4));
      const auto v = [&] { return static_cast<std::uint8_t>(pick(3) == 0 ? 127 : pick(4)); };
      switch (pick(9)) {
        case 0:
        case 1:
          w.note(delta, ch, static_cast<std::uint8_t>(60 + pick(8)),
                 static_cast<std::uint8_t>(pick(2) * 90));
          break;
        case 2:
        case 3:
        case 4:
          w.raw(delta, {static_cast<std::uint8_t>(0xB0 | ch),
                        kControllers[pick(sizeof kControllers)], v()});
          break;
        case 5:
          w.program(delta, ch, static_cast<std::uint8_t>(pick(5)));
          break;
        case 6:
          w.raw(delta, {static_cast<std::uint8_t>(0xE0 | ch), v(), v()});
          break;
        case 7:
          w.raw(delta, {static_cast<std::uint8_t>(0xD0 | ch), v()});
          break;
        default:
          if (t == 0 && pick(2) == 0) {
            w.tempo(delta, 300000 + 100000 * static_cast<std::uint32_t>(pick(4)));
          } else {
            w.sysex(delta, {0x7D, static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(i & 0x7F),
                            0xF7});
          }
      }
    }
    tracks.push_back(w.end(pick(50)));
  }
  return tracks;
}

class SeekTest : public PlaybackTest {
 protected:
  // Ticks until the clock has passed `ms` (a 1 ms period: each tick sends one ms of the song, in
  // the clock's order); the records of the last tick go to `last`.
  void playThrough(QuavrDevice d, std::uint32_t ms, std::vector<fake::Record>* last = nullptr) {
    while (bgmBgmStatus(d) == Playing && clock(d) <= ms) {
      const std::size_t before = fake::records().size();
      tick(d);
      if (last != nullptr)
        last->assign(fake::records().begin() + static_cast<std::ptrdiff_t>(before),
                     fake::records().end());
    }
  }
  static std::vector<std::uint32_t> shortsOf(const std::vector<fake::Record>& records) {
    std::vector<std::uint32_t> out;
    for (const auto& r : records) {
      if (r.kind == fake::Record::Short) out.push_back(r.message);
    }
    return out;
  }
  static std::vector<std::vector<std::uint8_t>> sysexOf(const std::vector<fake::Record>& records) {
    std::vector<std::vector<std::uint8_t>> out;
    for (const auto& r : records) {
      if (r.kind == fake::Record::Long) out.push_back(r.bytes);
    }
    return out;
  }
};

TEST_F(SeekTest, ThePortHoldsTheTargetsStateAndTheTargetsEventsGoOut) {
  std::mt19937 rng(14);
  for (int example = 0; example < 120; ++example) {
    fake::reset();
    const QuavrSong s = song(randomSong(rng));
    const std::uint32_t length = bgmGetSongLength(s);
    if (length == 0) continue;
    const std::uint32_t target = rng() % length;  // before the end: the song is still playing
    const std::uint32_t from = rng() % length;
    const std::string where = "example " + std::to_string(example) + " from " +
                              std::to_string(from) + " to " + std::to_string(target);
    // From the start to the target, as the clock plays it.
    const QuavrDevice ref = open(1);
    bgmPlay(ref, s);
    std::vector<fake::Record> refAtTarget;
    playThrough(ref, target, &refAtTarget);
    const std::vector<fake::Record> refRecords = fake::records();
    bgmStop(ref);
    fake::completeAllLongMessages();
    fake::clearRecords();
    // Played to somewhere else, then moved to the target.
    const QuavrDevice d = open(1);
    bgmPlay(d, s);
    playThrough(d, from);
    const std::size_t before = fake::records().size();
    ASSERT_EQ(bgmSeek(d, target), 0) << where;
    const std::vector<fake::Record> chase(
        fake::records().begin() + static_cast<std::ptrdiff_t>(before), fake::records().end());
    for (const auto& r : chase) {
      EXPECT_FALSE(r.kind == fake::Record::Short && (r.message & 0xE0) == 0x80)
          << where << " a note in the chase";
    }
    std::vector<fake::Record> atTarget;
    playThrough(d, target, &atTarget);
    EXPECT_EQ(shortsOf(atTarget), shortsOf(refAtTarget)) << where;
    expectSameState(interpret(refRecords), interpret(fake::records()), where);
    std::vector<fake::Record> afterSeek = chase;
    afterSeek.insert(afterSeek.end(), atTarget.begin(), atTarget.end());
    EXPECT_EQ(sysexOf(afterSeek), sysexOf(refRecords)) << where;
    bgmStop(d);
    bgmCloseMidiDev(ref);
    bgmCloseMidiDev(d);
    devices_.clear();
    fake::completeAllLongMessages();
    bgmDeleteSong(s);
    songs_.clear();
    ASSERT_EQ(fake::liveBlocks(), 0u) << where;
    if (HasFailure()) return;
  }
}

// What the device keeps across a seek: loop passes, volume (the chased CC7 scaled by it), a
// running fade, muted channels; what it loses: the notes that sounded. Past the end, the song ends
// at the next tick, and with passes left plays again.
TEST_F(SeekTest, KeepsTheDevicesSettingsAndEndsPastTheEnd) {
  const QuavrSong s = song({TrackWriter()
                                .raw(0, {0xB0, 7, 80})
                                .note(0, 0, 60, 100)
                                .raw(0, {0xB1, 7, 40})
                                .note(100, 1, 64, 100)
                                .note(100, 0, 60, 0)
                                .end(100)});
  const QuavrDevice d = open(10);
  bgmSetLoopCount(d, 2);
  bgmPlay(d, s);
  tick(d);
  ASSERT_EQ(bgmSeek(d, 350), 0);  // past the end: a pass of the loop begins again
  tick(d);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE), 1u);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOP_COUNT), 1u);
  bgmSetVolume(d, 50);
  bgmSetChannelMask(d, 2);
  bgmFade(d, 0, 1000, QUAVR_FADE_CONTINUE);
  tick(d);
  fake::clearRecords();
  ASSERT_EQ(bgmSeek(d, 100), 0);
  const auto chase = fake::shortMessages();
  EXPECT_EQ(fake::records().front().kind, fake::Record::Reset);
  const std::uint32_t volume = bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME);
  EXPECT_NE(std::find(chase.begin(), chase.end(), 0xB0u | 7 << 8 | (80 * volume / 100) << 16),
            chase.end());
  EXPECT_NE(std::find(chase.begin(), chase.end(), 0xB1u | 7 << 8 | (40 * volume / 100) << 16),
            chase.end());
  EXPECT_EQ(record(d).songVolume[0], 80);
  const MidiDevice after = record(d);
  for (const auto& channel : after.soundingNotes) EXPECT_EQ(channel[0] | channel[1], 0u);
  EXPECT_EQ(after.fade.active, 1u);
  EXPECT_EQ(after.mutedChannels, 2u);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE), 1u);
  fake::clearRecords();
  tick(d);  // the muted channel's note at the target stays silent; the fade goes on
  for (const std::uint32_t m : fake::shortMessages()) EXPECT_EQ(m & 0xFF, 0xB0u | (m & 0x0F)) << m;
  EXPECT_LT(bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME), volume);
  // A seek whose blocks cannot be had (the state's, then the walk's) leaves the song where it was.
  for (const int nth : {1, 2}) {
    fake::failAllocation(nth);
    EXPECT_EQ(bgmSeek(d, 250), -1);
    EXPECT_EQ(bgmGetPosition(d), 110u);
  }
  // Paused: the song resumes at the target.
  bgmPause(d);
  ASSERT_EQ(bgmSeek(d, 200), 0);
  EXPECT_EQ(bgmBgmStatus(d), Paused);
  bgmSetChannelMask(d, 0);
  bgmPause(d);
  fake::clearRecords();
  tick(d);
  EXPECT_EQ(fake::shortMessages().back(), 0x3C90u);  // the note-off due at 200
  bgmSetLoopCount(d, 0);
  ASSERT_EQ(bgmSeek(d, 1000), 0);
  tick(d);
  EXPECT_EQ(bgmBgmStatus(d), Idle);
  EXPECT_NE(bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & QUAVR_EVENT_ENDED, 0u);
}

// A seek's target is honoured. Up to a loop's end, that end included (bgmGetPosition can read
// it), the loop plays its passes, as play from 0 reaching it does; past it the song plays on to
// its own end and ends there: the device's count is the loop's, not a replay of the song. Past
// the song's end is its end, QUAVR_NONE too: the position is the song's length, never QUAVR_NONE.
TEST_F(SeekTest, TheTargetIsHonouredAroundTheLoopEndAndIsAtMostTheEnd) {
  const QuavrSong s = song({TrackWriter()
                                .note(0, 0, 60, 100)
                                .note(100, 0, 61, 100)
                                .note(100, 0, 62, 100)
                                .end(100)});  // 300 ms, looped on [50, 150)
  bgmSetLoopPoints(s, 50, 150);
  struct Case {
    std::uint32_t target, loops, plays61;
  };
  for (const Case c : {Case{149, 1, 1}, Case{150, 1, 1}, Case{151, 0, 0}, Case{195, 0, 0}}) {
    SCOPED_TRACE(c.target);
    const QuavrDevice d = open(10);
    bgmSetLoopCount(d, 1);
    bgmPlay(d, s);
    tick(d);
    ASSERT_EQ(bgmSeek(d, c.target), 0);
    fake::clearRecords();
    for (int i = 0; i < 100 && tick(d); ++i) {
    }
    std::map<int, int> plays;
    for (const std::uint32_t m : fake::shortMessages()) {
      if ((m & 0xF0) == 0x90) ++plays[(m >> 8) & 0x7F];
    }
    EXPECT_EQ(plays[60] * 100 + plays[61] * 10 + plays[62], c.plays61 * 10 + 1) << "notes 60-62";
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE), c.loops);
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & QUAVR_EVENT_ENDED, QUAVR_EVENT_ENDED);
  }

  // Past the end, paused: the position is the length, and the song ends at the next tick.
  const QuavrDevice d = open(10);
  bgmPlay(d, s);
  bgmPause(d);
  for (const std::uint32_t target : {QUAVR_NONE, 1000u, 300u}) {
    ASSERT_EQ(bgmSeek(d, target), 0);
    EXPECT_EQ(bgmGetPosition(d), 300u) << target;
  }
  bgmPause(d);
  tick(d);
  EXPECT_EQ(bgmBgmStatus(d), Idle);
}

}  // namespace
}  // namespace quavr::test
