// Counted and nested loops: what a device sends for random songs against an unrolling model,
// the clashes between styles, EMIDI's track designation, seeks into loops, and marker events.
#include <algorithm>
#include <map>
#include <random>

#include "tests/core/playback_fixture.h"

namespace quavr::test {
namespace {

// A song written at absolute times (one tick a millisecond), then as a file.
struct Timed {
  std::uint32_t time;
  Bytes bytes;  // a channel message, or FF type text
};
Bytes trackOf(std::vector<Timed> events, std::uint32_t endTime) {
  std::stable_sort(events.begin(), events.end(),
                   [](const Timed& a, const Timed& b) { return a.time < b.time; });
  TrackWriter t;
  std::uint32_t now = 0;
  for (const Timed& e : events) {
    if (e.bytes[0] == 0xFF) {
      t.meta(e.time - now, e.bytes[1], Bytes(e.bytes.begin() + 2, e.bytes.end()));
    } else {
      t.raw(e.time - now, e.bytes);
    }
    now = e.time;
  }
  return t.end(endTime - now);
}

struct Loop {
  std::uint32_t start, end;
  std::int32_t repeats;  // passes after the first, -1 forever
};
bool inside(const Loop& outer, const Loop& inner) {
  return outer.start <= inner.start && inner.end <= outer.end;
}

// The messages a port receives from playing `tracks` with `loops` from 0 to the end, one round
// a millisecond, worked out by unrolling: at each time the held notes due, then the events of
// that time in track order; then, for the loops ending there (the innermost first), a jump to
// the start while passes last: note-offs for what sounds (XMI: each note held until its own
// note-off, moved by the jump), then each channel's controllers, program, bend and pressure
// the loop's span sets, as they stood before its start. The first loop takes `hostCount`
// unless it is QUAVR_LOOP_AS_FILE.
std::vector<std::uint32_t> unroll(const std::vector<std::vector<Timed>>& tracks,
                                  const std::vector<Loop>& loops, std::int32_t hostCount,
                                  bool xmi) {
  struct Ev {
    std::uint32_t time, track;
    Bytes b;
  };
  std::vector<Ev> evs;
  for (std::uint32_t t = 0; t < tracks.size(); ++t) {
    for (const Timed& e : tracks[t])
      if (e.bytes[0] != 0xFF) evs.push_back({e.time, t, e.bytes});
  }
  std::stable_sort(evs.begin(), evs.end(), [](const Ev& a, const Ev& b) {
    return a.time != b.time ? a.time < b.time : a.track < b.track;
  });
  const auto pack = [](const Bytes& b) {
    return std::uint32_t{b[0]} | std::uint32_t{b.size() > 1 ? b[1] : 0u} << 8 |
           std::uint32_t{b.size() > 2 ? b[2] : 0u} << 16;
  };
  const auto noteOff = [](const Bytes& b) {
    return (b[0] & 0xF0) == 0x80 || ((b[0] & 0xF0) == 0x90 && b[2] == 0);
  };
  std::vector<std::uint32_t> out;
  std::map<std::pair<int, int>, std::uint32_t> sounding;  // (channel, key) → held until (XMI)
  constexpr std::uint32_t kOpen = 0xFFFFFFFF;
  const auto send = [&](const Bytes& b) {
    const int c = b[0] & 0x0F, type = b[0] & 0xF0;
    if (type == 0x90 && b[2] != 0 && sounding.count({c, b[1]}) && sounding[{c, b[1]}] != kOpen)
      out.push_back(0x80u | c | std::uint32_t{b[1]} << 8);  // a held note ends first
    out.push_back(pack(b));
    if (type == 0x80 || type == 0x90) {
      sounding.erase({c, b[1]});
      if (!noteOff(b)) sounding[{c, b[1]}] = kOpen;
    }
  };
  std::vector<std::int32_t> passes(loops.size(), INT32_MIN);
  std::size_t first = 0;  // the outermost: earliest start, of those the longest
  for (std::size_t i = 1; i < loops.size(); ++i) {
    if (loops[i].start < loops[first].start ||
        (loops[i].start == loops[first].start && loops[i].end > loops[first].end))
      first = i;
  }
  std::size_t next = 0;
  std::uint32_t t = 0;
  bool arrived = true;  // false at a loop's start after a jump: no loop ends there
  for (int guard = 0; guard < 200000; ++guard) {
    for (auto it = sounding.begin(); it != sounding.end();) {
      if (it->second <= t) {
        out.push_back(0x80u | it->first.first | std::uint32_t(it->first.second) << 8);
        it = sounding.erase(it);
      } else {
        ++it;
      }
    }
    while (next < evs.size() && evs[next].time <= t) send(evs[next++].b);
    std::vector<std::size_t> ending;
    for (std::size_t i = 0; i < loops.size() && arrived; ++i)
      if (loops[i].end == t) ending.push_back(i);
    std::sort(ending.begin(), ending.end(),
              [&](std::size_t a, std::size_t b) { return loops[a].start > loops[b].start; });
    bool jumped = false;
    for (const std::size_t i : ending) {
      if (i == first && hostCount != QUAVR_LOOP_AS_FILE) {
        if (hostCount == 0) continue;
        if (hostCount > 0) --hostCount;
      } else {
        if (passes[i] == INT32_MIN) passes[i] = loops[i].repeats;
        if (passes[i] == 0) {
          passes[i] = INT32_MIN;
          continue;
        }
        if (passes[i] > 0) --passes[i];
      }
      const Loop l = loops[i];
      for (std::size_t j = 0; j < loops.size(); ++j)
        if (j != i && inside(l, loops[j])) passes[j] = INT32_MIN;
      if (xmi) {
        for (auto& [note, until] : sounding) {
          std::uint32_t off = until;
          if (off == kOpen) {
            for (const Ev& e : evs) {
              if (e.time > l.end && noteOff(e.b) && (e.b[0] & 0x0F) == note.first &&
                  e.b[1] == note.second) {
                off = e.time;
                break;
              }
            }
          }
          until = off == kOpen ? kOpen : l.start + (off - l.end);
        }
      } else {
        for (const auto& [note, until] : sounding)
          out.push_back(0x80u | note.first | std::uint32_t(note.second) << 8);
        sounding.clear();
      }
      // The restore: the state before the start, for what the span sets.
      for (int c = 0; c < 16; ++c) {
        std::map<int, int> before;
        int program = 0, bend = 8192, pressure = 0;
        std::map<int, bool> touched;
        bool tp = false, tb = false, tr = false;
        for (const Ev& e : evs) {
          if ((e.b[0] & 0x0F) != c) continue;
          const int type = e.b[0] & 0xF0;
          const bool span = e.time >= l.start && e.time <= l.end;
          if (e.time >= l.start && !span) break;
          if (type == 0xB0)
            (span ? touched[e.b[1]] : (before[e.b[1]] = e.b[2], touched[-1])) = true;
          if (type == 0xC0) span ? tp = true : program = e.b[1];
          if (type == 0xE0) span ? tb = true : bend = e.b[1] | e.b[2] << 7;
          if (type == 0xD0) span ? tr = true : pressure = e.b[1];
        }
        for (const auto& [n, yes] : touched) {
          if (n < 0) continue;
          const int power = n == 7 ? 100 : n == 10 ? 64 : n == 11 ? 127 : 0;
          const int v = before.count(n) ? before[n] : power;
          out.push_back(0xB0u | c | std::uint32_t(n) << 8 | std::uint32_t(v) << 16);
        }
        if (tp) out.push_back(0xC0u | c | std::uint32_t(program) << 8);
        if (tb)
          out.push_back(0xE0u | c | std::uint32_t(bend & 0x7F) << 8 |
                        std::uint32_t(bend >> 7) << 16);
        if (tr) out.push_back(0xD0u | c | std::uint32_t(pressure) << 8);
      }
      t = l.start;
      next = 0;
      while (next < evs.size() && evs[next].time < t) ++next;
      jumped = true;
      break;
    }
    if (jumped) {
      arrived = false;
      continue;
    }
    if (next == evs.size()) break;
    arrived = true;
    ++t;
  }
  return out;
}

class LoopStackTest : public PlaybackTest {
 protected:
  // Plays the song on a 1 ms device to its end; the short messages sent.
  std::vector<std::uint32_t> playToEnd(QuavrSong s, std::int32_t count) {
    const QuavrDevice d = open(1);
    bgmSetLoopCount(d, count);
    fake::clearRecords();
    bgmPlay(d, s);
    for (int n = 0; n < 300000 && tick(d);) ++n;
    EXPECT_EQ(bgmBgmStatus(d), QUAVR_IDLE) << "the song did not end";
    return fake::shortMessages();
  }
};

// Random songs with random nested counted loops, under each nesting style and with counts from
// the file and from the host, send what the unrolling model says.
TEST_F(LoopStackTest, NestedCountedLoopsPlayAsUnrolled) {
  std::mt19937 random(21);
  const auto pick = [&](std::uint32_t n) { return static_cast<std::uint32_t>(random() % n); };
  for (int round = 0; round < 60; ++round) {
    const std::uint32_t style =
        std::vector<std::uint32_t>{QUAVR_LOOP_MARKERS, QUAVR_LOOP_XMI, QUAVR_LOOP_EMIDI}[round % 3];
    const std::int32_t host = std::vector<std::int32_t>{QUAVR_LOOP_AS_FILE, 0, 1, 2}[pick(4)];
    // Loops on a 20 ms grid that nest: none crosses or repeats another, none deeper than 4.
    std::vector<Loop> loops;
    for (int tries = 0; tries < 8; ++tries) {
      Loop l{20 * pick(20), 0, 0};
      l.end = l.start + 20 * (1 + pick(8));
      bool fits = true;
      for (const Loop& o : loops) {
        const bool apart = o.end <= l.start || l.end <= o.start;
        fits = fits && !(o.start == l.start && o.end == l.end) &&
               (apart || inside(o, l) || inside(l, o));
      }
      int deepest = 0;
      for (const Loop& a : loops) {
        int depth = 1 + (inside(a, l) || inside(l, a) ? 1 : 0);
        for (const Loop& b : loops)
          depth += &a != &b && inside(b, a) && (inside(b, l) || inside(l, b)) ? 1 : 0;
        deepest = std::max(deepest, depth);
      }
      if (fits && deepest <= 4) loops.push_back(l);
    }
    for (Loop& l : loops) {
      int depth = 0;
      for (const Loop& o : loops) depth += inside(o, l) ? 1 : 0;
      l.repeats = static_cast<std::int32_t>(1 + pick(depth >= 3 ? 1 : 2));
      if (style == QUAVR_LOOP_XMI && pick(4) == 0) l.repeats = 0;  // For 1: plays once
    }
    std::sort(loops.begin(), loops.end(), [](const Loop& a, const Loop& b) {
      return a.start != b.start ? a.start < b.start : a.end > b.end;
    });
    if (!loops.empty() && host != QUAVR_LOOP_AS_FILE && pick(2) == 0) loops[0].repeats = -1;
    // The marks, on track 0: at one time the ends (inner first), then the starts (outer first).
    std::vector<std::vector<Timed>> tracks(2);
    const bool songLoop = style == QUAVR_LOOP_EMIDI && !loops.empty() && pick(2) == 0;
    for (std::uint32_t time = 0; time <= 560; time += 20) {
      for (std::size_t i = loops.size(); i-- > 0;) {
        if (loops[i].end != time) continue;
        const bool song = songLoop && i == 0;
        if (style == QUAVR_LOOP_MARKERS)
          tracks[0].push_back({time, concat({{0xFF, 0x06}, text("loopEnd")})});
        if (style == QUAVR_LOOP_XMI) tracks[0].push_back({time, cc(0, 117, 127)});
        if (style == QUAVR_LOOP_EMIDI) tracks[0].push_back({time, cc(0, song ? 119 : 117, 127)});
      }
      for (std::size_t i = 0; i < loops.size(); ++i) {
        if (loops[i].start != time) continue;
        const std::int32_t r = loops[i].repeats;
        const auto n = static_cast<std::uint8_t>(r < 0 ? 0 : r);
        if (style == QUAVR_LOOP_MARKERS)
          tracks[0].push_back(
              {time, concat({{0xFF, 0x06},
                             text(r < 0 ? "loopStart" : "loopStart=" + std::to_string(r))})});
        if (style == QUAVR_LOOP_XMI) tracks[0].push_back({time, cc(0, 116, r < 0 ? 0 : n + 1)});
        if (style == QUAVR_LOOP_EMIDI)
          tracks[0].push_back({time, cc(0, songLoop && i == 0 ? 118 : 116, n)});
      }
    }
    // The music: notes that cross the loops' edges, controllers, programs, bends, pressure;
    // often on the grid, where loops start and end.
    for (std::uint32_t t = 0; t < 2; ++t) {
      for (int i = 0; i < 40; ++i) {
        const std::uint32_t at = pick(3) == 0 ? 20 * pick(29) : pick(570);
        const auto ch = static_cast<std::uint8_t>(pick(3));
        const auto v = static_cast<std::uint8_t>(pick(128));
        switch (pick(6)) {
          case 0:
            tracks[t].push_back(
                {at, cc(ch, std::vector<std::uint8_t>{1, 7, 10, 64, 91}[pick(5)], v)});
            break;
          case 1:
            tracks[t].push_back(
                {at, {static_cast<std::uint8_t>(0xC0 | ch), static_cast<std::uint8_t>(v & 0x7F)}});
            break;
          case 2:
            tracks[t].push_back(
                {at,
                 {static_cast<std::uint8_t>(0xE0 | ch), v, static_cast<std::uint8_t>(pick(128))}});
            break;
          case 3:
            tracks[t].push_back({at, {static_cast<std::uint8_t>(0xD0 | ch), v}});
            break;
          default: {
            const auto key = static_cast<std::uint8_t>(60 + pick(6));
            tracks[t].push_back({at, {static_cast<std::uint8_t>(0x90 | ch), key, 100}});
            tracks[t].push_back(
                {at + 5 + pick(60), {static_cast<std::uint8_t>(0x80 | ch), key, 64}});
          }
        }
      }
    }
    const QuavrSong s = song({trackOf(tracks[0], 640), trackOf(tracks[1], 640)});
    // The writer sorts by time keeping the order given: the model reads the tracks the same way.
    for (auto& t : tracks) {
      std::stable_sort(t.begin(), t.end(),
                       [](const Timed& a, const Timed& b) { return a.time < b.time; });
    }
    ASSERT_EQ(bgmSetLoopStyle(s, style), 0);
    SCOPED_TRACE(testing::Message()
                 << "round " << round << " style " << style << " count " << host);
    ASSERT_EQ(bgmGetSongInfo(s, QUAVR_INFO_LOOPS, 0), loops.size());
    for (std::uint32_t i = 0; i < loops.size(); ++i) {
      EXPECT_EQ(bgmGetSongInfo(s, QUAVR_INFO_LOOP_START, i), loops[i].start);
      EXPECT_EQ(bgmGetSongInfo(s, QUAVR_INFO_LOOP_END, i), loops[i].end);
      EXPECT_EQ(bgmGetSongInfo(s, QUAVR_INFO_LOOP_STYLE, i), style);
    }
    const std::vector<std::uint32_t> expected =
        unroll(tracks, loops, host, style == QUAVR_LOOP_XMI);
    const std::vector<std::uint32_t> sent = playToEnd(s, host);
    ASSERT_EQ(sent.size(), expected.size());
    for (std::size_t i = 0; i < sent.size(); ++i)
      ASSERT_EQ(sent[i], expected[i]) << "message " << i;
  }
}

// Two enabled styles that read one controller: the first of XMI, EMIDI, CC116_117, CC110_111,
// TOUHOU, CC111 takes it; the nesting styles' loops combine, the others stand in only alone.
TEST_F(LoopStackTest, ClashesFollowTheOnePrecedence) {
  const QuavrSong hmi =
      song({TrackWriter().raw(100, cc(0, 110, 5)).raw(200, cc(0, 111, 0)).end(200)});
  const QuavrSong counted =
      song({TrackWriter().raw(100, cc(0, 116, 2)).raw(100, cc(0, 117, 127)).end(200)});
  const QuavrSong broken =
      song({TrackWriter().raw(100, cc(0, 116, 2)).raw(100, cc(0, 117, 0)).end(200)});
  const QuavrSong twoStyles = song({TrackWriter()
                                        .raw(0, cc(0, 118, 0))
                                        .meta(100, 0x06, text("loopStart=2"))
                                        .meta(100, 0x06, text("loopEnd"))
                                        .raw(100, cc(0, 119, 127))
                                        .end(100)});
  struct Case {
    QuavrSong song;
    std::uint32_t styles, start, end, style, count;
  };
  const Case cases[] = {
      {hmi, QUAVR_LOOP_CC110_111, 100, 300, QUAVR_LOOP_CC110_111, 0},
      {hmi, QUAVR_LOOP_CC110_111 | QUAVR_LOOP_CC111, 100, 300, QUAVR_LOOP_CC110_111, 0},
      {hmi, QUAVR_LOOP_CC111, 300, 500, QUAVR_LOOP_CC111, 0},
      {hmi, QUAVR_LOOP_EMIDI | QUAVR_LOOP_CC110_111, QUAVR_NONE, QUAVR_NONE, 0, QUAVR_NONE},
      {hmi, QUAVR_LOOP_EMIDI | QUAVR_LOOP_CC111, QUAVR_NONE, QUAVR_NONE, 0, QUAVR_NONE},
      {counted, QUAVR_LOOP_CC116_117, 100, 200, QUAVR_LOOP_CC116_117, 0},
      {counted, QUAVR_LOOP_EMIDI | QUAVR_LOOP_CC116_117, 100, 200, QUAVR_LOOP_EMIDI, 2},
      {counted, 0xFFFFFFFF, 100, 200, QUAVR_LOOP_XMI, 2},
      {broken, QUAVR_LOOP_CC116_117, 100, 200, QUAVR_LOOP_CC116_117, 0},
      {broken, QUAVR_LOOP_XMI | QUAVR_LOOP_CC116_117, QUAVR_NONE, QUAVR_NONE, 0, QUAVR_NONE},
      {twoStyles, QUAVR_LOOP_EMIDI | QUAVR_LOOP_MARKERS, 0, 300, QUAVR_LOOP_EMIDI, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "styles " << c.styles);
    ASSERT_EQ(bgmSetLoopStyle(c.song, c.styles), 0);
    EXPECT_EQ(bgmGetSongInfo(c.song, QUAVR_INFO_LOOP_START, 0), c.start);
    EXPECT_EQ(bgmGetSongInfo(c.song, QUAVR_INFO_LOOP_END, 0), c.end);
    EXPECT_EQ(bgmGetSongInfo(c.song, QUAVR_INFO_LOOP_STYLE, 0), c.style);
    EXPECT_EQ(bgmGetSongInfo(c.song, QUAVR_INFO_LOOP_COUNT, 0), c.count);
  }
  // A start and an end at one time, in either order, loop from the start to the song's end.
  struct Marks {
    std::uint32_t style;
    Bytes start, end;
    std::uint32_t count;
  };
  for (const Marks& m : {Marks{QUAVR_LOOP_MARKERS, concat({{0xFF, 6}, text("loopStart=3")}),
                               concat({{0xFF, 6}, text("loopEnd")}), 3},
                         Marks{QUAVR_LOOP_EMIDI, cc(0, 118, 0), cc(0, 119, 127), 0},
                         Marks{QUAVR_LOOP_XMI, cc(0, 116, 2), cc(0, 117, 127), 2}}) {
    for (const bool startFirst : {true, false}) {
      const QuavrSong s = song({trackOf(
          {{100, startFirst ? m.start : m.end}, {100, startFirst ? m.end : m.start}}, 300)});
      ASSERT_EQ(bgmSetLoopStyle(s, m.style), 0);
      const auto info = [&](std::uint32_t what) { return bgmGetSongInfo(s, what, 0); };
      EXPECT_EQ((std::vector{info(QUAVR_INFO_LOOPS), info(QUAVR_INFO_LOOP_START),
                             info(QUAVR_INFO_LOOP_END), info(QUAVR_INFO_LOOP_COUNT)}),
                (std::vector{1u, 100u, 300u, m.count}))
          << m.style << (startFirst ? " start first" : " end first");
    }
  }
  // The marker loop nests in EMIDI's song loop; a marker loop crossing it would win.
  EXPECT_EQ(bgmGetSongInfo(twoStyles, QUAVR_INFO_LOOPS, 0), 2u);
  EXPECT_EQ(bgmGetSongInfo(twoStyles, QUAVR_INFO_LOOP_START, 1), 100u);
  EXPECT_EQ(bgmGetSongInfo(twoStyles, QUAVR_INFO_LOOP_STYLE, 1), QUAVR_LOOP_MARKERS);
  EXPECT_EQ(bgmGetSongInfo(twoStyles, QUAVR_INFO_LOOP_COUNT, 1), 2u);
  EXPECT_EQ(bgmGetSongInfo(twoStyles, QUAVR_INFO_LOOP_START, 2), QUAVR_NONE);
  // Loops nest 4 deep: a fifth marker loop inside, and an XMI loop inside that, are left out.
  TrackWriter deep;
  for (int i = 0; i < 5; ++i) deep.meta(i == 0 ? 0 : 10, 0x06, text("loopStart=1"));
  deep.raw(5, cc(0, 116, 2)).raw(3, cc(0, 117, 127));
  for (int i = 0; i < 5; ++i) deep.meta(i == 0 ? 2 : 10, 0x06, text("loopEnd"));
  const QuavrSong tooDeep = song({deep.end()});
  bgmSetLoopStyle(tooDeep, QUAVR_LOOP_MARKERS | QUAVR_LOOP_XMI);
  EXPECT_EQ(bgmGetSongInfo(tooDeep, QUAVR_INFO_LOOPS, 0), 4u);
  EXPECT_EQ(bgmGetSongInfo(tooDeep, QUAVR_INFO_LOOP_START, 3), 30u);
  EXPECT_EQ(bgmGetSongInfo(tooDeep, QUAVR_INFO_LOOP_END, 3), 60u);
  EXPECT_EQ(bgmSetLoopStyle(0, QUAVR_LOOP_XMI), -1);
  // An endless XMI loop's end is where the song ends for its length.
  const QuavrSong endless =
      song({TrackWriter().raw(100, cc(0, 116, 0)).raw(200, cc(0, 117, 64)).end(300)});
  EXPECT_EQ(bgmGetSongLength(endless), 600u);
  bgmSetLoopStyle(endless, QUAVR_LOOP_XMI);
  EXPECT_EQ(bgmGetSongLength(endless), 300u);
  EXPECT_EQ(bgmGetSongInfo(endless, QUAVR_INFO_LENGTH, 0), 300u);
}

// With EMIDI on, a track designated for another synthesizer is neither heard nor chased, and
// CC112 and CC113 go out as program and volume.
TEST_F(LoopStackTest, EmidiTracksForOtherSynthesizersAreNotHeard) {
  const auto track = [](std::uint8_t channel, std::vector<std::uint8_t> designation) {
    TrackWriter t;
    for (std::size_t i = 0; i < designation.size(); i += 2)
      t.raw(0, cc(channel, designation[i], designation[i + 1]));
    return Bytes(t.raw(0, cc(channel, 112, 5))
                     .raw(0, cc(channel, 113, 90))
                     .note(10, channel, 60, 100)
                     .end(100));
  };
  const QuavrSong s = song({track(0, {110, 1}), track(1, {110, 0}), track(2, {111, 127}),
                            track(3, {110, 1, 110, 127}), track(4, {111, 2})});
  const auto channelsHeard = [&](std::uint32_t styles) {
    bgmSetLoopStyle(s, styles);
    const QuavrDevice d = open(10);
    fake::clearRecords();
    bgmPlay(d, s);
    for (int i = 0; i < 5; ++i) tick(d);
    std::map<int, std::vector<std::uint32_t>> heard;
    for (const std::uint32_t m : fake::shortMessages()) {
      if ((m & 0xF0) != 0xB0 || ((m >> 8) & 0xFF) < 110) heard[m & 0x0F].push_back(m);
    }
    fake::clearRecords();
    bgmSeek(d, 50);  // the chase gives the silent tracks' channels nothing but sound off
    for (const std::uint32_t m : fake::shortMessages()) {
      if ((m & 0xFFFF) != (0xB0u | (m & 0x0F) | 120u << 8)) heard[m & 0x0F];
    }
    bgmCloseMidiDev(d);
    devices_.pop_back();
    return heard;
  };
  const auto emidi = channelsHeard(QUAVR_LOOP_EMIDI);
  EXPECT_EQ(emidi.size(), 3u);
  for (const int c : {1, 3, 4}) {
    EXPECT_EQ(emidi.at(c),
              (std::vector<std::uint32_t>{0xC0u | c | 5u << 8, 0xB0u | c | 7u << 8 | 90u << 16,
                                          noteOn(static_cast<std::uint8_t>(c), 60, 100)}));
  }
  EXPECT_EQ(channelsHeard(0).size(), 5u) << "without EMIDI every track plays as written";
}

// A seek into a counted loop after passes of it, and into a nested loop, enters it as a play
// from 0 would: every count in full; the passes done stay.
TEST_F(LoopStackTest, SeeksIntoLoopsCountInFull) {
  const QuavrSong s = song({TrackWriter()
                                .meta(100, 0x06, text("loopStart=2"))
                                .note(0, 0, 60, 100)
                                .meta(50, 0x06, text("loopStart=1"))
                                .note(0, 0, 61, 100)
                                .meta(50, 0x06, text("loopEnd"))
                                .note(50, 0, 62, 100)
                                .meta(50, 0x06, text("loopEnd"))
                                .end(100)});
  bgmSetLoopStyle(s, QUAVR_LOOP_MARKERS);
  for (const std::uint32_t target : {250u, 170u}) {
    SCOPED_TRACE(target);
    const QuavrDevice d = open(10);
    bgmSetLoopCount(d, QUAVR_LOOP_AS_FILE);
    bgmPlay(d, s);
    while (bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE) == 0) ASSERT_TRUE(tick(d));
    for (int i = 0; i < 8; ++i) tick(d);  // on into the second pass
    fake::clearRecords();
    ASSERT_EQ(bgmSeek(d, target), 0);
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE), 1u);
    while (tick(d)) {
    }
    std::map<int, int> plays;
    for (const std::uint32_t m : fake::shortMessages()) {
      if ((m & 0xF0) == 0x90) ++plays[(m >> 8) & 0x7F];
    }
    // From 250: the rest of a pass, then two full ones. From 170: also a pass of the inner loop.
    EXPECT_EQ(plays[60], 2);
    EXPECT_EQ(plays[61], target == 250 ? 4 : 5);
    EXPECT_EQ(plays[62], 3);
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE), 3u);
  }
}

// A jump that carries the tick's overshoot past an inner loop's end makes that loop's jump in
// the same tick: each pass of the outer loop plays the inner one twice, at any period.
TEST_F(LoopStackTest, AnInnerLoopEndingInsideTheCarriedOvershootStillJumps) {
  const QuavrSong s = song({TrackWriter()
                                .meta(100, 0x06, text("loopStart=1"))
                                .meta(0, 0x06, text("loopStart=1"))
                                .note(0, 0, 60, 100)
                                .meta(4, 0x06, text("loopEnd"))
                                .note(0, 0, 60, 0)
                                .meta(192, 0x06, text("loopEnd"))
                                .end(100)});
  bgmSetLoopStyle(s, QUAVR_LOOP_MARKERS);
  const QuavrDevice d = open(10);  // the outer end, 296, is reached at 300: 4 ms over
  bgmSetLoopCount(d, QUAVR_LOOP_AS_FILE);
  fake::clearRecords();
  bgmPlay(d, s);
  while (tick(d)) {
  }
  int plays = 0;
  for (const std::uint32_t m : fake::shortMessages()) plays += m == noteOn(0, 60, 100) ? 1 : 0;
  EXPECT_EQ(plays, 4);
}

// Loops shorter and longer than the clock's step: the clock goes round the loop as often as its
// song time made it, a pass counted each, up to the count; then it plays on past the end. The
// position reported stays inside the loop while passes remain.
TEST_F(LoopStackTest, TheClockCarriesRoundALoopAsOftenAsItsTimeMakes) {
  const QuavrSong s = song({TrackWriter().note(0, 0, 60, 100).note(20000, 0, 60, 0).end()});
  for (const std::uint32_t start : {0u, 7u})
    for (const std::uint32_t length : {1u, 3u, 10u, 25u, 64u})
      for (const std::uint32_t period : {1u, 10u, 40u})
        for (const std::uint32_t tempo : {1000u, 730u, 2500u})
          for (const std::int32_t count : {0, 1, 2, 3, -1}) {
            SCOPED_TRACE(testing::Message() << "loop " << start << "+" << length << " period "
                                            << period << " tempo " << tempo << " count " << count);
            const std::uint32_t end = start + length;
            ASSERT_EQ(bgmSetLoopPoints(s, start, end), 0);
            const QuavrDevice d = open(period);
            bgmSetTempo(d, tempo);
            bgmSetLoopCount(d, count);
            bgmPlay(d, s);
            // Passes made by song time t: one at the end, one more each length after.
            const auto done = [&](std::uint64_t t) {
              const std::uint64_t passes = t < end ? 0 : 1 + (t - end) / length;
              return count < 0 ? passes : std::min<std::uint64_t>(passes, count);
            };
            for (std::uint64_t n = 1; n <= 60; ++n) {
              ASSERT_TRUE(tick(d));
              // The tick sent at the song time the one before reached; its own is where it is.
              const std::uint64_t sent = (n - 1) * period * tempo / 1000;
              const std::uint64_t reached = n * period * tempo / 1000;
              ASSERT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE), done(sent)) << "tick " << n;
              const std::uint64_t expected = reached - done(reached) * length;
              ASSERT_EQ(bgmGetPosition(d), expected) << "tick " << n;
              if (count < 0 || done(reached) < static_cast<std::uint64_t>(count)) {
                ASSERT_LT(expected, end);
              }
            }
            bgmCloseMidiDev(d);
            devices_.pop_back();
          }
}

// A marker played raises QUAVR_EVENT_MARKER and gives its index as QUAVR_TEXT_MARKER counts
// (track by track), also when a loop plays it again.
TEST_F(LoopStackTest, MarkersPlayedAreReported) {
  const QuavrSong s =
      song({TrackWriter().meta(0, 0x06, text("a")).meta(200, 0x06, text("c")).end(100),
            TrackWriter().meta(50, 0x06, text("b")).meta(0, 0x01, text("not one")).end()});
  bgmSetLoopPoints(s, 0, 250);
  const QuavrDevice d = open(10);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_MARKER), QUAVR_NONE);
  bgmSetRepeat(d, 1);
  bgmPlay(d, s);
  std::vector<std::uint32_t> seen;
  for (int i = 0; i < 60; ++i) {
    tick(d);
    if ((bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & QUAVR_EVENT_MARKER) != 0) {
      seen.push_back(bgmGetPlayInfo(d, QUAVR_PLAY_MARKER));
    }
  }
  EXPECT_EQ(seen, (std::vector<std::uint32_t>{0, 2, 1, 0, 2, 1, 0, 2}));
  char name[4];
  bgmGetSongText(s, QUAVR_TEXT_MARKER, 2, name, sizeof name);
  EXPECT_STREQ(name, "b");
}

}  // namespace
}  // namespace quavr::test
