// Loop points: the loops the file marks under each convention, the host's choice among them,
// and the jump a playing device makes at the loop end.
#include <array>
#include <bitset>
#include <cinttypes>
#include <fstream>
#include <future>
#include <random>
#include <sstream>
#include <thread>

#include "tests/core/playback_fixture.h"

namespace quavr::test {
namespace {

// What the messages sent so far leave on each channel, as a synthesizer keeps it.
struct ChannelModel {
  std::array<int, 128> controllers;
  int program = 0, bend = 8192, pressure = 0;
  std::bitset<128> sounding;
  ChannelModel() {
    controllers.fill(0);
    controllers[7] = 100;
    controllers[10] = 64;
    controllers[11] = 127;
  }
};
using Model = std::array<ChannelModel, 16>;

void apply(Model& model, std::uint32_t message) {
  const int status = message & 0xFF, d1 = (message >> 8) & 0x7F, d2 = (message >> 16) & 0x7F;
  ChannelModel& c = model[status & 0x0F];
  switch (status & 0xF0) {
    case 0x80:
      c.sounding.reset(d1);
      break;
    case 0x90:
      c.sounding.set(d1, d2 != 0);
      break;
    case 0xB0:
      c.controllers[d1] = d2;
      break;
    case 0xC0:
      c.program = d1;
      break;
    case 0xD0:
      c.pressure = d1;
      break;
    case 0xE0:
      c.bend = d1 | (d2 << 7);
      break;
  }
}

Model modelOf(const std::vector<std::uint32_t>& messages) {
  Model model;
  for (std::uint32_t m : messages) apply(model, m);
  return model;
}

class LoopTest : public PlaybackTest {
 protected:
  LoopPoints loopOf(QuavrSong song) {
    return {bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, 0),
            bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, 0)};
  }
  void expectLoop(QuavrSong song, std::uint32_t start, std::uint32_t end, std::uint32_t style) {
    const LoopPoints loop = loopOf(song);
    EXPECT_EQ(loop.startMs, start);
    EXPECT_EQ(loop.endMs, end);
    EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_LOOP_STYLE, 0), style);
  }
};

// Every convention marks its own loop in one song; the host's styles choose, markers first, then
// CC116/117, then CC111; explicit points come before all of them.
TEST_F(LoopTest, TheHostChoosesAmongTheConventions) {
  const QuavrSong s = song({TrackWriter()
                                .meta(100, 0x06, text("loopEnd"))  // before any start: no end
                                .meta(100, 0x01, text("LOOPSTART"))
                                .raw(100, cc(0, 116, 0))
                                .raw(100, cc(1, 111, 0))
                                .raw(300, cc(2, 117, 0))
                                .meta(100, 0x06, text("LoopEnd"))
                                .note(200, 0, 60, 0)
                                .end()});  // 1000 ms
  expectLoop(s, QUAVR_NONE, QUAVR_NONE, 0);
  const std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t>> cases =
      {{QUAVR_LOOP_CC111, 400, 1000, QUAVR_LOOP_CC111},
       {QUAVR_LOOP_CC116_117, 300, 700, QUAVR_LOOP_CC116_117},
       {QUAVR_LOOP_MARKERS, 200, 800, QUAVR_LOOP_MARKERS},
       {QUAVR_LOOP_CC111 | QUAVR_LOOP_CC116_117, 300, 700, QUAVR_LOOP_CC116_117},
       {0xFF, 200, 800, QUAVR_LOOP_MARKERS},
       {0, QUAVR_NONE, QUAVR_NONE, 0}};
  for (const auto& [styles, start, end, style] : cases) {
    EXPECT_EQ(bgmSetLoopStyle(s, styles), 0);
    expectLoop(s, start, end, style);
  }
  bgmSetLoopStyle(s, QUAVR_LOOP_CC111);
  EXPECT_EQ(bgmSetLoopPoints(s, 50, QUAVR_NONE), 0);
  expectLoop(s, 50, 1000, 0);
  EXPECT_EQ(bgmSetLoopPoints(s, 60, 5000), 0) << "an end past the song's is its end";
  expectLoop(s, 60, 1000, 0);
  EXPECT_EQ(bgmSetLoopPoints(s, 500, 500), -1);
  EXPECT_EQ(bgmSetLoopPoints(s, 1000, QUAVR_NONE), -1);
  EXPECT_EQ(bgmSetLoopPoints(s, QUAVR_NONE, 900), -1);
  expectLoop(s, 60, 1000, 0);
  EXPECT_EQ(bgmSetLoopPoints(s, QUAVR_NONE, QUAVR_NONE), 0);
  expectLoop(s, 400, 1000, QUAVR_LOOP_CC111);

  // A start without an end loops to the song's end; an end without a start loops from 0; a
  // start at the song's end is no loop.
  const QuavrSong onlyEnd = song({TrackWriter()
                                      .raw(0, cc(0, 117, 0))
                                      .raw(250, cc(0, 116, 0))
                                      .meta(250, 0x06, text("loopend"))
                                      .end(500)});
  bgmSetLoopStyle(onlyEnd, QUAVR_LOOP_CC116_117 | QUAVR_LOOP_MARKERS);
  expectLoop(onlyEnd, 0, 500, QUAVR_LOOP_MARKERS);
  bgmSetLoopStyle(onlyEnd, QUAVR_LOOP_CC116_117);
  expectLoop(onlyEnd, 250, 1000, QUAVR_LOOP_CC116_117);
  const QuavrSong atEnd = song({TrackWriter().note(0, 0, 1, 1).raw(300, cc(0, 111, 0)).end()});
  bgmSetLoopStyle(atEnd, QUAVR_LOOP_CC111);
  expectLoop(atEnd, QUAVR_NONE, QUAVR_NONE, 0);
  // A song whose end is 0xFFFFFFFF ms cannot loop to it: that end would read as no loop (its
  // length reads 0xFFFFFFFE).
  const QuavrSong endless = song(
      {TrackWriter().tempo(0, 0xFFFFFF).raw(0, cc(0, 111, 0)).note(0xFFFFFFF, 0, 60, 0).end()}, 1);
  ASSERT_EQ(bgmGetSongLength(endless), 0xFFFFFFFEu);
  bgmSetLoopStyle(endless, QUAVR_LOOP_CC111);
  expectLoop(endless, QUAVR_NONE, QUAVR_NONE, 0);
  EXPECT_EQ(bgmSetLoopPoints(endless, 0, QUAVR_NONE), -1);
}

// For any loop and any period: right after the jump, every channel stands where playing from 0
// up to the same point past the loop start leaves it, and no note sounds that would not.
TEST_F(LoopTest, AfterTheJumpTheChannelsAreAsPlayedUpToTheLoopStart) {
  std::mt19937 random(13);
  const auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(random() % n); };
  // Each track on a channel of its own: within one tick, tracks go in order, so two tracks on
  // one channel could settle differently with the period.
  std::vector<Bytes> tracks;
  for (std::uint8_t channel = 0; channel < 3; ++channel) {
    TrackWriter t;
    static const std::uint8_t controllers[] = {0, 1, 7, 10, 11, 32, 64, 91, 101, 111};
    for (int i = 0; i < 120; ++i) {
      const std::uint32_t delta = pick(4) == 0 ? 0 : pick(40);
      const auto value = static_cast<std::uint8_t>(pick(128));
      switch (pick(6)) {
        case 0:
          t.raw(delta, cc(channel, controllers[pick(10)], value));
          break;
        case 1:
          t.program(delta, channel, value);
          break;
        case 2:
          t.raw(delta, {static_cast<std::uint8_t>(0xE0 | channel), value,
                        static_cast<std::uint8_t>(pick(128))});
          break;
        case 3:
          t.raw(delta, {static_cast<std::uint8_t>(0xD0 | channel), value});
          break;
        default:
          t.note(delta, channel, static_cast<std::uint8_t>(60 + pick(12)), pick(3) == 0 ? 0 : 90);
      }
    }
    tracks.push_back(t.end());
  }
  const QuavrSong s = song(tracks);
  const std::uint32_t length = bgmGetSongLength(s);
  ASSERT_GT(length, 1000u);
  for (int round = 0; round < 40; ++round) {
    const std::uint32_t start = pick(length - 1);
    const std::uint32_t end = start + 1 + pick(length - start);
    const std::uint32_t period = 1 + pick(25);
    SCOPED_TRACE(testing::Message() << "loop " << start << ".." << end << " period " << period);
    ASSERT_EQ(bgmSetLoopPoints(s, start, end), 0);
    const QuavrDevice looping = open(period);
    bgmSetRepeat(looping, 1);
    fake::clearRecords();
    const int resets = fake::callCount(fake::Op::MidiOutReset);
    bgmPlay(looping, s);
    while (clock(looping) < end) ASSERT_TRUE(tick(looping));
    const std::uint32_t before = clock(looping);  // the tick that reaches the loop end
    ASSERT_TRUE(tick(looping));
    const std::uint32_t after = clock(looping);
    const std::uint32_t resumed = after - period;  // where the jump tick left off past the start
    EXPECT_EQ(resumed, start + (before - end) % (end - start));
    EXPECT_EQ(fake::callCount(fake::Op::MidiOutReset), resets) << "a jump, not a replay";
    const Model jumped = modelOf(fake::shortMessages());
    bgmCloseMidiDev(looping);
    devices_.pop_back();

    // The same song without a loop, a millisecond a tick, up to the same point.
    bgmSetLoopPoints(s, QUAVR_NONE, QUAVR_NONE);
    const QuavrDevice straight = open(1);
    fake::clearRecords();
    bgmPlay(straight, s);
    while (clock(straight) <= resumed) ASSERT_TRUE(tick(straight));
    const Model played = modelOf(fake::shortMessages());
    bgmCloseMidiDev(straight);
    devices_.pop_back();

    for (int c = 0; c < 16; ++c) {
      SCOPED_TRACE(c);
      EXPECT_EQ(jumped[c].controllers, played[c].controllers);
      EXPECT_EQ(jumped[c].program, played[c].program);
      EXPECT_EQ(jumped[c].bend, played[c].bend);
      EXPECT_EQ(jumped[c].pressure, played[c].pressure);
      EXPECT_EQ((jumped[c].sounding & ~played[c].sounding).none(), true) << "a note left hanging";
    }
  }
}

// A loop changed while the song plays applies at the next loop end; cleared, the song's end
// replays the whole song as ever (a reset, then from 0).
TEST_F(LoopTest, ALoopChangedDuringPlayApplies) {
  const QuavrSong s = song({TrackWriter().note(0, 0, 60, 100).note(100, 0, 60, 0).end(100)});
  const QuavrDevice device = open(10);
  bgmSetRepeat(device, 1);
  bgmSetLoopPoints(s, 50, 150);
  bgmPlay(device, s);
  for (int i = 0; i < 16; ++i) tick(device);  // clocks 0..150: the jump at 150, back to 50
  EXPECT_EQ(clock(device), 60u);
  bgmSetLoopPoints(s, 100, QUAVR_NONE);
  for (int i = 0; i < 10; ++i) tick(device);  // 60..150, then to 100 + 50 % 100
  EXPECT_EQ(clock(device), 160u);
  EXPECT_EQ(fake::callCount(fake::Op::MidiOutReset), 0);
  bgmSetLoopPoints(s, 10, 30);  // under the clock: the next tick jumps to the start
  tick(device);
  EXPECT_EQ(clock(device), 20u);
  bgmSetLoopPoints(s, 100, QUAVR_NONE);
  for (int i = 0; i < 8; ++i) tick(device);  // 20..90: 100 is not reached yet
  bgmSetLoopPoints(s, QUAVR_NONE, QUAVR_NONE);
  for (int i = 0; i < 11; ++i) tick(device);  // 100..200: the song ends and replays
  EXPECT_EQ(fake::callCount(fake::Op::MidiOutReset), 1);
  EXPECT_EQ(clock(device), 10u);
}

// A loop change builds its table with no lock held: while it does, a device playing the song
// renders and the song's facts can be read (only the swap of tables waits for them).
TEST_F(LoopTest, ALoopChangeHoldsUpNoOneWhileItBuildsItsTable) {
  const QuavrSong s =
      song({TrackWriter().meta(0, 0x06, text("loopStart")).note(0, 0, 60, 100).end(100)});
  const QuavrDevice d = bgmOpenRenderDev(8000, "");
  devices_.push_back(d);
  bgmPlay(d, s);
  std::thread other;
  std::promise<bool> answered;
  bool answeredInTime = false;
  fake::onAllocation([&] {
    if (other.joinable()) return;
    other = std::thread([&] {
      answered.set_value(bgmRender(d, nullptr, 80, 0) == 80 && bgmGetSongLength(s) == 100);
    });
    auto answer = answered.get_future();
    answeredInTime =
        answer.wait_for(std::chrono::seconds(2)) == std::future_status::ready && answer.get();
  });
  ASSERT_EQ(bgmSetLoopStyle(s, QUAVR_LOOP_MARKERS), 0);
  fake::onAllocation(nullptr);
  other.join();
  EXPECT_TRUE(answeredInTime);
}

std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The fake port's records as the monitor device logs them, in ms from `since`.
std::string monitorLog(const std::vector<fake::Record>& records, std::uint32_t since) {
  std::string log;
  char line[64];
  for (const fake::Record& r : records) {
    std::snprintf(line, sizeof line, "%" PRIu32 " ", r.timeMs - since);
    log += line;
    if (r.kind == fake::Record::Short) {
      std::snprintf(line, sizeof line, "short %08X\n", static_cast<unsigned>(r.message));
      log += line;
    } else if (r.kind == fake::Record::Long) {
      log += "long";
      for (std::uint8_t b : r.bytes) {
        std::snprintf(line, sizeof line, " %02X", b);
        log += line;
      }
      log += "\n";
    } else {
      log += "reset\n";
    }
  }
  return log;
}

// The loop theme repeating for 25 s on each convention's loop, against its golden log (which
// tests/player/model_log.py, a model of its own, makes and checks): an intro then a CC111 body
// looped at the song's end; a CC116/117 loop ending in a held chord, at a period that leaves
// the clock past the loop end; a marker loop with a tail, its body changing program, volume and
// bend.
TEST_F(LoopTest, TheLoopThemeLeavesItsGoldenLogs) {
  const std::string file = readText(QUAVR_SOURCE_DIR "/examples/loop_theme.mid");
#ifdef _WIN32
  if (file.empty()) GTEST_SKIP() << "the source tree is not reachable from Wine";
#endif
  ASSERT_FALSE(file.empty());
  const std::vector<std::tuple<std::string, std::uint32_t, std::uint32_t>> logs = {
      {"markers", QUAVR_LOOP_MARKERS, 10},
      {"cc111", QUAVR_LOOP_CC111, 10},
      {"cc116", QUAVR_LOOP_CC116_117, 7}};
  for (const auto& [name, style, period] : logs) {
    SCOPED_TRACE(name);
    const QuavrSong s = loadBytes(Bytes(file.begin(), file.end()), "loop_theme.mid");
    songs_.push_back(s);
    bgmSetLoopStyle(s, style);
    const QuavrDevice device = open(period);
    bgmSetRepeat(device, 1);
    fake::clearRecords();
    const std::uint32_t since = fake::nowMs();
    bgmPlay(device, s);
    for (std::uint32_t n = 0; n < (25000 + period - 1) / period; ++n) ASSERT_TRUE(tick(device));
    bgmStop(device);
    const std::string expected =
        readText(std::string(QUAVR_SOURCE_DIR) + "/tests/player/golden/loops/loop_theme." + name +
                 ".p" + std::to_string(period) + ".log");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(monitorLog(fake::records(), since), expected);
  }
}

}  // namespace
}  // namespace quavr::test
