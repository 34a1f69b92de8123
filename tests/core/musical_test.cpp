// Music that follows the game: the grid and the position against a plain model of one generated
// song, queued actions landing on the model's frame (any buffer partition) and in the tick that
// reaches them, and the queue's rules.
#include <algorithm>
#include <functional>
#include <map>
#include <random>

#include "tests/core/playback_fixture.h"
#include "tests/core/sink_log.h"

namespace quavr::test {
namespace {

constexpr std::uint16_t kDivision = 96;
constexpr std::uint32_t kEndTick = 2880;
constexpr std::uint32_t kRate = 44100;
constexpr std::uint32_t kTempo = 997;

using Timeline = std::vector<std::pair<std::uint32_t, Bytes>>;

Bytes track(Timeline events) {
  std::stable_sort(events.begin(), events.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  TrackWriter w;
  std::uint32_t at = 0;
  for (const auto& [tick, bytes] : events) w.raw(tick - std::exchange(at, tick), bytes);
  return w.end(kEndTick - at);
}

Bytes timeSignature(std::uint8_t numerator, std::uint8_t power) {
  return {0xFF, 0x58, 4, numerator, power, 24, 8};
}

struct Meter {
  std::uint32_t tick, numerator, denominator;
};
struct Tempo {
  std::uint32_t tick, usPerQuarter;
};
const std::vector<Tempo> kTempos = [] {
  std::vector<Tempo> t{{0, 250000}};
  for (std::uint32_t k = 1; k <= 16; ++k) t.push_back({1824 + 24 * k, 250000 - 9000 * k});
  return t;
}();
const std::uint32_t kMarkerTicks[] = {576, 1488, 2100};

// 4/4, 3/4 from the middle of bar 1, then 7/8 from the second track on the tick where the first
// sets 5/4 (the last wins), 6/8 under an accelerando; three markers; notes every eighth.
Bytes generatedSong(bool withMeters) {
  Timeline conductor, notes;
  for (const Tempo& t : kTempos) {
    const std::uint32_t us = t.usPerQuarter;
    conductor.push_back(
        {t.tick, {0xFF, 0x51, 3, std::uint8_t(us >> 16), std::uint8_t(us >> 8), std::uint8_t(us)}});
  }
  for (std::uint32_t tick : kMarkerTicks) conductor.push_back({tick, {0xFF, 0x06, 1, 'M'}});
  if (withMeters) {
    conductor.insert(conductor.end(), {{0, timeSignature(4, 2)},
                                       {576, timeSignature(3, 2)},
                                       {1152, timeSignature(5, 2)},
                                       {1824, timeSignature(6, 3)}});
    notes.push_back({1152, timeSignature(7, 3)});
  }
  for (std::uint32_t t = 0; t < kEndTick - 48; t += 48) {
    const auto key = static_cast<std::uint8_t>(60 + t / 48 % 12);
    notes.push_back({t, {0x90, key, 100}});
    notes.push_back({t + 40, {0x80, key, 0}});
  }
  return smf(kDivision, {track(conductor), track(notes)});
}

// Another song: a program change, then a note each beat, on channel 6.
Bytes otherSong() {
  TrackWriter w;
  w.program(0, 5, 40);
  for (int i = 0; i < 60; ++i) w.note(i == 0 ? 0 : 56, 5, 72, 90).note(40, 5, 72, 0);
  return smf(kDivision, {w.end()});
}

// The plain model: bars and beats stepped tick by tick through each meter, times summed through
// each tempo segment and divided once.
struct Model {
  struct Beat {
    std::uint32_t tick, ms, bar, beatInBar;
  };
  std::vector<Beat> beats;  // on past the song's end
  std::vector<std::uint32_t> barMs, barMeter, markerMs;
  std::uint32_t bars = 0, beatsInSong = 0, lengthMs = 0;

  static std::uint32_t msOf(std::uint64_t tick) {
    std::uint64_t us = 0;
    for (std::size_t i = 0; i < kTempos.size() && kTempos[i].tick < tick; ++i) {
      const std::uint64_t to =
          i + 1 < kTempos.size() ? std::min<std::uint64_t>(tick, kTempos[i + 1].tick) : tick;
      us += (to - kTempos[i].tick) * kTempos[i].usPerQuarter;
    }
    return static_cast<std::uint32_t>(us / (kDivision * 1000));
  }

  explicit Model(bool withMeters) {
    const std::vector<Meter> meters =
        withMeters ? std::vector<Meter>{{0, 4, 4}, {576, 3, 4}, {1152, 7, 8}, {1824, 6, 8}}
                   : std::vector<Meter>{{0, 4, 4}};
    for (std::size_t m = 0; m < meters.size(); ++m) {
      const std::uint32_t to = m + 1 < meters.size() ? meters[m + 1].tick : kEndTick + 2000;
      const std::uint32_t beatTicks = 4 * kDivision / meters[m].denominator;
      for (std::uint32_t t = meters[m].tick, n = 0; t < to; t += beatTicks, ++n) {
        if (n % meters[m].numerator == 0) {
          barMs.push_back(msOf(t));
          barMeter.push_back(meters[m].numerator << 8 | meters[m].denominator);
          bars += t < kEndTick ? 1 : 0;
        }
        beats.push_back(
            {t, msOf(t), static_cast<std::uint32_t>(barMs.size() - 1), n % meters[m].numerator});
        beatsInSong += t < kEndTick ? 1 : 0;
      }
    }
    for (std::uint32_t tick : kMarkerTicks) markerMs.push_back(msOf(tick));
    lengthMs = msOf(kEndTick);
  }

  std::uint32_t place(std::uint32_t ms) const {
    std::size_t b = 0;
    while (beats[b + 1].ms <= ms) ++b;
    const std::uint32_t span = beats[b + 1].ms - beats[b].ms;
    return beats[b].bar << 16 | beats[b].beatInBar << 8 | (ms - beats[b].ms) * 256 / span;
  }
  // The first beat (or bar) whose index is a multiple of `every` at `ms` or later.
  std::uint32_t next(bool bar, std::uint32_t every, std::uint32_t ms) const {
    const std::size_t n = bar ? barMs.size() : beats.size();
    for (std::size_t i = 0; i < n; i += std::max(every, 1u)) {
      const std::uint32_t t = bar ? barMs[i] : beats[i].ms;
      if (t >= ms) return t;
    }
    return QUAVR_NONE;
  }
};

TEST(MusicalModel, IsTheSongAsWritten) {
  const Model m(true);
  EXPECT_EQ(m.barMs[1], 1000u);  // 384 ticks at 250 ms a quarter
  EXPECT_EQ(m.barMs[2], 1500u) << "3/4 cuts bar 1 to two beats";
  EXPECT_EQ(m.barMeter[4], 0x0708u) << "the second track's 7/8 wins over 5/4";
}

class MusicalTest : public PlaybackTest {
 protected:
  QuavrSong load(const Bytes& bytes) {
    const QuavrSong s = loadBytes(bytes, "song" + std::to_string(songs_.size()));
    songs_.push_back(s);
    return s;
  }
  QuavrDevice openRender() {
    const QuavrDevice d = bgmOpenRenderDev(kRate, "");
    devices_.push_back(d);
    return d;
  }
  static std::uint64_t frameOf(std::uint64_t ms) { return ms * kRate / kTempo; }

  // Plays `song` on a new messages-only render device at tempo 997 and renders `frames` frames in
  // random chunks that stop at each call's frame, where the call is made. The sink's log.
  std::vector<SinkEntry> render(
      QuavrSong song, std::uint64_t frames,
      const std::vector<std::pair<std::uint64_t, std::function<void(QuavrDevice)>>>& calls,
      unsigned seed) {
    const QuavrDevice d = openRender();
    SinkLog log;
    bgmSetMessageSink(d, logMessage, &log);
    bgmSetTempo(d, kTempo);
    bgmPlay(d, song);
    std::mt19937 random(seed);
    std::size_t next = 0;
    while (log.callStart < frames) {
      for (; next < calls.size() && calls[next].first <= log.callStart; ++next)
        calls[next].second(d);
      const std::uint64_t until = next < calls.size() ? calls[next].first : frames;
      const std::uint64_t chunk =
          std::min<std::uint64_t>(1 + random() % (seed % 3 == 0 ? 7 : 3000), until - log.callStart);
      bgmRender(d, nullptr, static_cast<std::uint32_t>(chunk), 0);
      log.callStart += chunk;
    }
    bgmCloseMidiDev(d);
    return log.entries;
  }

  // Each tick's records on a port device of period 10 that plays `song`, repeating or not, with
  // `call` made after tick `callAfter` (1 the first).
  std::vector<std::vector<std::pair<int, std::uint32_t>>> ticked(
      QuavrSong song, bool repeat, int ticks, int callAfter,
      const std::function<void(QuavrDevice)>& call) {
    const QuavrDevice d = open(10);
    bgmSetRepeat(d, repeat ? 1 : 0);
    bgmPlay(d, song);
    std::vector<std::vector<std::pair<int, std::uint32_t>>> out;
    for (int n = 1; n <= ticks; ++n) {
      const std::size_t before = fake::records().size();
      tick(d);
      out.emplace_back();
      for (std::size_t i = before; i < fake::records().size(); ++i)
        out.back().push_back({fake::records()[i].kind, fake::records()[i].message});
      if (n == callAfter) call(d);
    }
    bgmCloseMidiDev(d);
    return out;
  }
};

template <class Log>
std::size_t firstDifference(const Log& a, const Log& b) {
  return static_cast<std::size_t>(std::mismatch(a.begin(), a.end(), b.begin(), b.end()).first -
                                  a.begin());
}

// The song's grid and the packed position, read after a seek anywhere, against the model; with
// its time signatures and without (4/4, not nominal).
TEST_F(MusicalTest, GridAndPositionMatchThePlainModel) {
  for (const bool withMeters : {true, false}) {
    SCOPED_TRACE(withMeters);
    const Model m(withMeters);
    const QuavrSong song = load(generatedSong(withMeters));
    ASSERT_EQ(bgmGetSongInfo(song, QUAVR_INFO_BARS, 0), m.bars);
    for (std::uint32_t i = 0; i < m.bars; ++i) {
      EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_BAR_TIME, i), m.barMs[i]) << "bar " << i;
      EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_METER, i), m.barMeter[i]) << "bar " << i;
    }
    for (std::uint32_t i = 0; i <= m.beatsInSong; ++i) {
      EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_BEAT_TIME, i),
                i < m.beatsInSong ? m.beats[i].ms : QUAVR_NONE)
          << "beat " << i;
    }
    EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_BAR_TIME, m.bars), QUAVR_NONE);
    EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_METERS, 0), withMeters ? 4u : 1u);
    EXPECT_EQ(bgmGetSongInfo(song, QUAVR_INFO_METER_BAR, withMeters ? 3 : 0), withMeters ? 6u : 0u);
    const QuavrDevice d = openRender();
    bgmPlay(d, song);
    for (std::uint32_t ms = 0; ms < m.lengthMs; ms += 37) {
      ASSERT_EQ(bgmSeek(d, ms), 0);
      EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_BAR_BEAT), m.place(ms)) << ms << " ms";
      EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_TO_NEXT_BEAT), m.next(false, 1, ms) - ms);
      EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_TO_NEXT_BAR), m.next(true, 1, ms) - ms);
    }
  }
}

// Every action at every kind of boundary: on a messages-only render device nothing changes
// before the model's frame and something does on it, the same for two partitions; on a port
// the first tick that differs is the one whose clock reaches the boundary.
TEST_F(MusicalTest, QueuedActionsLandOnTheModelsBoundary) {
  const Model m(true);
  const QuavrSong a = load(generatedSong(true));
  const QuavrSong b = load(otherSong());
  const std::uint32_t loopStart = m.barMs[2], loopEnd = m.barMs[5];
  using Act = std::function<std::int32_t(QuavrDevice, std::uint32_t)>;
  const std::vector<std::pair<const char*, Act>> actions = {
      {"song",
       [&](QuavrDevice d, std::uint32_t w) { return bgmQueueSong(d, b, w, QUAVR_NONE, 0); }},
      {"jump", [&](QuavrDevice d, std::uint32_t w) { return bgmQueueJump(d, w, m.barMs[1], 0); }},
      {"stop", [](QuavrDevice d, std::uint32_t w) { return bgmQueueStop(d, w); }},
      {"fade", [](QuavrDevice d, std::uint32_t w) { return bgmQueueFade(d, w, 40, 30, 0); }},
      {"layer", [](QuavrDevice d, std::uint32_t w) { return bgmFadeChannels(d, w, 1, 50, 0); }}};
  struct Rule {
    std::uint32_t when;
    std::function<std::uint32_t(std::uint32_t)> boundary;  // from the first song time not played
  };
  const std::vector<Rule> rules = {
      {QUAVR_AT_NOW, [](std::uint32_t p) { return p; }},
      {QUAVR_AT_BEAT, [&](std::uint32_t p) { return m.next(false, 1, p); }},
      {QUAVR_AT_BAR, [&](std::uint32_t p) { return m.next(true, 1, p); }},
      {QUAVR_AT_BEATS(3), [&](std::uint32_t p) { return m.next(false, 3, p); }},
      {QUAVR_AT_BARS(2), [&](std::uint32_t p) { return m.next(true, 2, p); }},
      {QUAVR_AT_MARKER,
       [&](std::uint32_t p) {
         return *std::find_if(m.markerMs.begin(), m.markerMs.end(), [p](auto t) { return t >= p; });
       }},
      {QUAVR_AT_MARKER_INDEX(1),
       [&](std::uint32_t p) { return p <= m.markerMs[1] ? m.markerMs[1] : QUAVR_NONE; }},
      {QUAVR_AT_LOOP_END, [&](std::uint32_t) { return loopEnd; }},
      {QUAVR_AT_END, [&](std::uint32_t) { return m.lengthMs; }}};
  int row = 0;
  for (const auto& [name, act] : actions) {
    for (const Rule& rule : rules) {
      SCOPED_TRACE(testing::Message() << name << " at " << rule.when);
      const bool looped = rule.when == QUAVR_AT_LOOP_END;
      bgmSetLoopPoints(a, looped ? loopStart : QUAVR_NONE, looped ? loopEnd : QUAVR_NONE);
      const std::uint32_t callMs = 100 + (row++ * 733) % (looped ? loopEnd - 200 : 4200);
      std::int32_t queued = 0;
      const auto call = [&, &act = act](bool acting) {
        return [&, acting](QuavrDevice d) { queued = acting ? act(d, rule.when) : 0; };
      };
      // A boundary the song's end comes before never takes effect; a stop at the end is the end.
      const auto expected = [&, name = std::string(name)](std::uint32_t from) {
        const std::uint32_t due = rule.boundary(from);
        return due < m.lengthMs || (due == m.lengthMs && name != "stop") ? due : QUAVR_NONE;
      };
      // Render: the call at the frame of callMs; "next" from the first time not rendered.
      const std::uint64_t callFrame = frameOf(callMs);
      const auto unplayed = static_cast<std::uint32_t>((callFrame * kTempo + kRate - 1) / kRate);
      const std::uint32_t due = expected(unplayed);
      const auto script = [&](bool acting) {
        return std::vector<std::pair<std::uint64_t, std::function<void(QuavrDevice)>>>{
            {0, [&](QuavrDevice d) { bgmSetRepeat(d, looped ? 1 : 0); }},
            {callFrame, call(acting)}};
      };
      const std::uint64_t frames = frameOf(m.lengthMs) + kRate / 2;
      const auto plain = render(a, frames, script(false), 1);
      const auto acted = render(a, frames, script(true), 2 + row);
      EXPECT_EQ(queued, rule.boundary(unplayed) == QUAVR_NONE ? -1 : 0) << "a marker behind";
      EXPECT_TRUE(render(a, frames, script(true), 3 + 7 * row) == acted) << "another partition";
      const std::size_t at = firstDifference(acted, plain);
      ASSERT_EQ(at == acted.size(), due == QUAVR_NONE) << due << " ms";
      if (due != QUAVR_NONE) {
        EXPECT_EQ(acted[at].frame, frameOf(due)) << "boundary " << due << " ms";
      }
      // Port, period 10: tick n plays up to (n - 1) × 10 ms.
      const int callAfter = static_cast<int>(callMs / 10);
      const std::uint32_t portDue = expected((callAfter - 1) * 10 + 1);
      const int ticks = static_cast<int>(m.lengthMs / 10 + 20);
      const std::size_t tickAt = firstDifference(ticked(a, looped, ticks, callAfter, call(true)),
                                                 ticked(a, looped, ticks, callAfter, call(false)));
      EXPECT_EQ(tickAt, portDue == QUAVR_NONE ? ticks : (portDue + 9) / 10) << portDue << " ms";
    }
  }
  bgmSetLoopPoints(a, QUAVR_NONE, QUAVR_NONE);
}

// The queue's rules: a seek finds the boundary again, a marker behind is refused or waits for
// the loop's next pass, pause freezes the queue, a queued song is held, every drop is reported,
// a running fade ends with its song, and channel volumes scale CC7 over the device volume.
TEST_F(MusicalTest, TheQueueKeepsItsRules) {
  const Model m(true);
  const QuavrSong a = load(generatedSong(true)), b = load(otherSong()), c = load(otherSong());
  SinkLog log;
  QuavrDevice d = 0;
  const auto start = [&](QuavrSong song) {
    bgmCloseMidiDev(d);  // a song plays on one device at a time
    d = openRender();
    log = {};
    bgmSetMessageSink(d, logMessage, &log);
    bgmSetTempo(d, kTempo);
    bgmPlay(d, song);
  };
  const auto renderTo = [&](std::uint64_t frame) {
    bgmRender(d, nullptr, static_cast<std::uint32_t>(frame - log.callStart), 0);
    log.callStart = frame;
  };
  // The frame an action happens on: the device still plays one frame before it.
  const auto stopsAt = [&](std::uint64_t frame) {
    renderTo(frame);
    EXPECT_EQ(bgmBgmStatus(d), Playing) << "before frame " << frame;
    renderTo(frame + 1);
    EXPECT_EQ(bgmBgmStatus(d), Idle) << "at frame " << frame;
  };
  const auto events = [&] { return bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & ~kBeatEvents; };

  start(a);  // a seek finds the bar from its target, timed from the seek's frame
  renderTo(frameOf(200));
  ASSERT_EQ(bgmQueueStop(d, QUAVR_AT_BAR), 0);
  ASSERT_EQ(bgmSeek(d, 1200), 0);
  stopsAt(frameOf(200) + frameOf(1500 - 1200));
  EXPECT_EQ(events(), QUAVR_EVENT_QUEUED);

  start(a);  // a marker behind: refused, unless a loop brings it back
  renderTo(frameOf(2000));
  EXPECT_EQ(bgmQueueStop(d, QUAVR_AT_MARKER_INDEX(0)), -1);
  bgmSetLoopPoints(a, m.barMs[1], m.barMs[4]);
  bgmSetRepeat(d, 1);
  ASSERT_EQ(bgmQueueStop(d, QUAVR_AT_MARKER_INDEX(0)), 0);
  stopsAt(frameOf(m.barMs[4] + m.markerMs[0] - m.barMs[1]));
  start(a);  // ... and dropped once a seek leaves the loop behind
  bgmSetRepeat(d, 1);
  ASSERT_EQ(bgmQueueStop(d, QUAVR_AT_MARKER_INDEX(0)), 0);
  ASSERT_EQ(bgmSeek(d, m.barMs[4] + 100), 0);
  EXPECT_EQ(events(), QUAVR_EVENT_DROPPED);
  bgmSetLoopPoints(a, QUAVR_NONE, QUAVR_NONE);

  start(a);                // pause freezes the queue: the stop comes as many frames later
  renderTo(frameOf(100));  // past bar 0
  ASSERT_EQ(bgmQueueStop(d, QUAVR_AT_BAR), 0);
  renderTo(frameOf(500));
  bgmPause(d);
  renderTo(frameOf(500) + 12345);
  bgmPause(d);
  stopsAt(frameOf(1000) + 12345);

  start(a);  // a queued song is held like a bound one; replacing, stopping, cancelling drop
  const QuavrDevice other = openRender();
  ASSERT_EQ(bgmQueueSong(d, b, QUAVR_AT_BAR, 0, 0), 0);
  EXPECT_EQ(bgmDeleteSong(b), b);
  EXPECT_EQ(bgmPlay(other, b), Idle);
  EXPECT_EQ(bgmBgmStatus(other), Idle) << "held by the queue of another device";
  ASSERT_EQ(bgmQueueSong(d, c, QUAVR_AT_BEAT, 0, 0), 0);
  EXPECT_EQ(events(), QUAVR_EVENT_DROPPED);
  EXPECT_EQ(bgmPlay(other, b), Idle) << "let go when replaced";
  EXPECT_EQ(bgmStop(other), Idle);
  ASSERT_EQ(bgmQueueFade(d, QUAVR_AT_BAR, 0, 100, QUAVR_FADE_CONTINUE), 0);
  EXPECT_EQ(bgmCancelQueued(d), 0);
  EXPECT_EQ(events(), QUAVR_EVENT_DROPPED);
  ASSERT_EQ(bgmQueueSong(d, c, QUAVR_AT_BAR, 0, 0), 0);
  EXPECT_EQ(bgmStop(d), Idle);
  EXPECT_EQ(events(), QUAVR_EVENT_DROPPED);
  renderTo(frameOf(2000));
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS), 0u) << "nothing comes after a stop";
  EXPECT_EQ(bgmQueueStop(d, QUAVR_AT_BAR), -1) << "Idle";
  EXPECT_EQ(bgmQueueSong(d, b, QUAVR_AT_BAR, QUAVR_NONE, QUAVR_FADE_IN(500)), 0);
  EXPECT_EQ(bgmBgmStatus(d), Playing) << "an Idle device plays at once";
  EXPECT_EQ(bgmQueueSong(d, c, 6, 0, 0), -1) << "no such kind";
  EXPECT_EQ(bgmQueueJump(d, QUAVR_AT_BAR, 0, 2), -1) << "no such flag";
  bgmStop(d);

  start(a);  // a fade running ends with its song: the new one plays at the host's volume
  bgmFade(d, 0, 20000, QUAVR_FADE_CONTINUE);
  renderTo(frameOf(700));
  ASSERT_EQ(bgmQueueSong(d, b, QUAVR_AT_BAR, 0, 0), 0);
  renderTo(frameOf(3000));
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME), 100u);

  // Channel volumes scale CC7 on top of the device volume, and belong to the device.
  log.entries.clear();
  ASSERT_EQ(bgmFadeChannels(d, QUAVR_AT_NOW, 1u << 5, 50, 0), 0);
  bgmSetVolume(d, 50);
  renderTo(frameOf(3001));
  const auto volume = [&](std::uint8_t value) {
    return std::count(log.entries.begin(), log.entries.end(),
                      SinkEntry{frameOf(3000), {0xB5, 7, value}});
  };
  EXPECT_EQ(volume(50) + volume(25), 2) << "100 % of 50 %, then 50 % of 50 %";
  bgmStop(d);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_CHANNEL_VOLUME + 5), 50u);
  EXPECT_EQ(bgmFadeChannels(d, QUAVR_AT_BAR, 1u << 5, 80, 1000), 0);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_CHANNEL_VOLUME + 5), 80u) << "set at once when Idle";

  // Played at once from an entry, the song starts only once there: a render that comes while
  // the entry's chase is built plays nothing of the song's beginning.
  const auto enterAt1000 = [&](bool renderMeanwhile) {
    start(a);
    bgmStop(d);
    log = {};
    fake::onAllocation([&] {
      if (std::exchange(renderMeanwhile, false)) bgmRender(d, nullptr, 100, 0);
    });
    EXPECT_EQ(bgmQueueSong(d, b, QUAVR_AT_BAR, 1000, 0), 0);
    fake::onAllocation(nullptr);
    bgmRender(d, nullptr, 2000, 0);
    std::vector<Bytes> sent;
    for (const SinkEntry& e : log.entries) sent.push_back(e.bytes);
    return sent;
  };
  EXPECT_EQ(enterAt1000(true), enterAt1000(false));
}

// A switch in place at a bar: the old song's notes end (cut) or ring to their written end with
// the pedal let go (ring), in a fixed order, and no note hangs.
TEST_F(MusicalTest, TailsLeaveNoNoteHanging) {
  TrackWriter held;  // pedal down, a note across the bar line, one the pedal holds
  held.raw(0, {0xB0, 64, 127}).note(0, 0, 60, 100).note(24, 0, 64, 100).note(48, 0, 64, 0);
  const QuavrSong a = load(
      smf(kDivision, {TrackWriter().tempo(0, 250000).end(900), held.note(628, 0, 60, 0).end(200)}));
  const QuavrSong b = load(otherSong());
  for (const std::uint32_t tail : {QUAVR_TAIL_CUT, QUAVR_TAIL_RING}) {
    SCOPED_TRACE(tail);
    const QuavrDevice d = openRender();
    SinkLog log;
    bgmSetMessageSink(d, logMessage, &log);
    bgmSetTempo(d, kTempo);
    bgmPlay(d, a);
    bgmRender(d, nullptr, static_cast<std::uint32_t>(frameOf(100)), 0);
    log.callStart = frameOf(100);
    ASSERT_EQ(bgmQueueSong(d, b, QUAVR_AT_BAR, 0, tail), 0);
    bgmRender(d, nullptr, static_cast<std::uint32_t>(frameOf(4000) - log.callStart), 0);
    std::vector<Bytes> atBar;
    for (const SinkEntry& e : log.entries) {
      if (e.frame == frameOf(1000)) atBar.push_back(e.bytes);
    }
    std::vector<Bytes> order = {{0xB0, 64, 0}, {0xB0, 66, 0}, {0xB0, 67, 0}, {0xB0, 69, 0},
                                {0xC5, 0},     {0xC5, 40},    {0x95, 72, 90}};
    if (tail == QUAVR_TAIL_CUT) order.insert(order.begin(), {0x80, 60, 0});
    EXPECT_EQ(atBar, order) << "tail, pedals, chase, the new song";
    const auto off = std::find(log.entries.begin(), log.entries.end(),
                               SinkEntry{frameOf(1000 + 1822 - 1000), {0x80, 60, 0}});
    EXPECT_EQ(off != log.entries.end(), tail == QUAVR_TAIL_RING) << "its written end";
    // Nothing sounds at the end, on a key or a pedal.
    std::map<int, int> sounding;
    for (const SinkEntry& e : log.entries) {
      const int type = e.bytes[0] & 0xF0, key = (e.bytes[0] & 15) << 8 | e.bytes[1];
      if (type == 0x90 || type == 0x80) sounding[key] = type == 0x90 && e.bytes[2] != 0;
      if (type == 0xB0 && e.bytes[1] == 64) sounding[-1] = e.bytes[2] >= 64;
    }
    for (const auto& [key, on] : sounding) EXPECT_EQ(on, 0) << "key " << key;
    bgmCloseMidiDev(d);
  }
}

}  // namespace
}  // namespace quavr::test
