#include <random>

#include "song/tempo_map.h"
#include "tests/core/core_test.h"
#include "tests/core/song_copy.h"

namespace quavr::test {
namespace {

class TempoMapTest : public CoreTest {
 protected:
  // The times of every event of every track, loading `tracks` at `division`.
  std::vector<std::vector<std::uint32_t>> times(const std::vector<Bytes>& tracks,
                                                std::uint16_t division = 96) {
    const QuavrSong song = loadBytes(smf(division, tracks));
    const SongCopy view = inspect(song);
    length_ = view.lengthMs;
    EXPECT_EQ(bgmDeleteSong(song), 0u);
    std::vector<std::vector<std::uint32_t>> out;
    for (const TrackCopy& track : view.tracks) {
      out.emplace_back();
      for (const EventCopy& e : track.events) out.back().push_back(e.timeMs);
    }
    return out;
  }
  std::uint32_t length_ = 0;
};

TEST_F(TempoMapTest, TempoChangesTimeTheEventsAfterThem) {
  const auto t = times(
      {TrackWriter().tempo(0, 600000).tempo(384, 400000),
       TrackWriter().note(0, 0, 1, 1).note(192, 0, 1, 1).note(192, 0, 1, 1).note(96, 0, 1, 1)});
  EXPECT_EQ(t[1], (std::vector<std::uint32_t>{0, 1200, 2400, 2800}));
  EXPECT_EQ(t[0], (std::vector<std::uint32_t>{0, 2400}))
      << "a tempo event takes its own point's time";
}

TEST_F(TempoMapTest, WithoutTempoEventsHalfASecondPerQuarter) {
  const auto t = times({TrackWriter().note(96, 0, 1, 1).note(904, 0, 1, 1)});
  EXPECT_EQ(t[0], (std::vector<std::uint32_t>{500, 5208}));
}

// Times are truncated once, no longer per segment (which made this 996).
TEST_F(TempoMapTest, ARepeatedTempoMovesNoTime) {
  EXPECT_EQ(times({TrackWriter().note(958, 0, 1, 1)}, 480)[0][0], 997u);
  const auto t = times({TrackWriter().tempo(479, 500000), TrackWriter().note(958, 0, 1, 1)}, 480);
  EXPECT_EQ(t[0][0], 498u);
  EXPECT_EQ(t[1][0], 997u);
}

TEST_F(TempoMapTest, OneMapTimesAllTracksAndTheLastTempoOnATickWins) {
  const auto t = times({TrackWriter().tempo(0, 600000).note(96, 0, 1, 1),
                        TrackWriter().tempo(0, 300000).note(96, 0, 1, 1)});
  EXPECT_EQ(t[0][1], 300u);
  EXPECT_EQ(t[1][1], 300u);
  const auto later = times({TrackWriter().note(192, 0, 1, 1), TrackWriter().note(192, 0, 1, 1),
                            TrackWriter().tempo(96, 1000000)});
  EXPECT_EQ(later[0][0], 500u + 1000u) << "a tempo in track 2 times tracks 0 and 1";
}

TEST_F(TempoMapTest, TempoEventsOutOfOrderAcrossTracksAreSorted) {
  const auto t = times(
      {TrackWriter().tempo(200, 250000).note(100, 0, 1, 1), TrackWriter().tempo(100, 1000000)});
  // 100 ticks at 500000, 100 at 1000000, 100 at 250000; division 96; truncated once (the sums
  // of truncated segments were 1561 and 1821).
  EXPECT_EQ(t[1][0], 520u);
  EXPECT_EQ(t[0][0], 150000000u / 96000);
  EXPECT_EQ(t[0][1], 175000000u / 96000);
}

TEST_F(TempoMapTest, DivisionZeroAndTempoZeroTimeAtThePoint) {
  EXPECT_EQ(times({TrackWriter().tempo(10, 600000).note(500, 0, 1, 1)}, 0)[0],
            (std::vector<std::uint32_t>{0, 0}));
  const auto t = times({TrackWriter()
                            .note(96, 0, 1, 1)
                            .tempo(0, 0)
                            .note(1000, 0, 1, 1)
                            .tempo(0, 500000)
                            .note(96, 0, 1, 1)});
  EXPECT_EQ(t[0], (std::vector<std::uint32_t>{500, 500, 500, 500, 1000}));
}

TEST_F(TempoMapTest, ASongLastsAsLongAsItsLongestTrack) {
  times({TrackWriter().end(96), TrackWriter().end(960), {}});
  EXPECT_EQ(length_, 5000u) << "the longest track, not the sum; an empty track counts as 0";
}

TEST_F(TempoMapTest, AShortTempoEventReadsOnlyInsideItsBlock) {
  // FF 51 01 07 ends the block: the two missing tempo bytes read as 0, so the tempo is 0x070000.
  const auto t = times({TrackWriter().note(96, 0, 1, 1).raw(0, {0xFF, 0x51, 0x01, 0x07})});
  EXPECT_EQ(t[0][1], 500u);
  // Stored with length 1 before another event, the tempo reads on into that event's bytes.
  const auto on = times({TrackWriter().raw(0, {0xFF, 0x51, 0x01, 0x07}).note(96, 0, 0x0F, 0x42)});
  EXPECT_EQ(on[0][1], ticksToMs(0x07900F, 96, 96));
}

// quavr-info once listed only tempo events stored with all three bytes, fewer than timed the song.
TEST_F(TempoMapTest, TheListedTempoChangesAreTheOnesTheTimingUsed) {
  const QuavrSong song = loadBytes(smf(
      96, {TrackWriter().raw(0, {0xFF, 0x51, 0x01, 0x07}).note(96, 0, 0x0F, 0x42).tempo(96, 250000),
           TrackWriter().note(288, 0, 1, 1)}));
  {
    const SongView view(song);
    const std::vector<TempoChange> changes = tempoChanges(view);
    ASSERT_EQ(changes.size(), 2u);
    EXPECT_EQ(changes[0].usPerQuarter, 0x07900Fu);
    EXPECT_EQ(changes[1].usPerQuarter, 250000u);
    const std::uint32_t atSecond = ticksToMs(0x07900F, 192, 96);
    EXPECT_EQ(changes[1].timeMs, atSecond);
    EXPECT_EQ(view.track(1).events()[0].timeMs, atSecond + ticksToMs(250000, 96, 96));
  }
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

TEST_F(TempoMapTest, TicksPastTwoToThe32DoNotRunTimeBackwards) {
  const auto t = times({TrackWriter()
                            .note(0xFFFFFFF, 0, 1, 1)
                            .note(0xFFFFFFF, 0, 1, 1)
                            .note(0xFFFFFFF, 0, 1, 1)
                            .note(0xFFFFFFF, 0, 1, 1)
                            .note(0xFFFFFFF, 0, 1, 1)
                            .end(0)},
                       30000);
  for (std::size_t i = 1; i < t[0].size(); ++i) EXPECT_GE(t[0][i], t[0][i - 1]) << i;
}

TEST_F(TempoMapTest, TimesPastTwoToThe32MsStayAtTheEndInsteadOfWrapping) {
  // Each delta of 2^28 - 1 ticks at 600000 us per quarter and division 96 is about 1.68e9 ms.
  TrackWriter track;
  track.tempo(0, 600000);
  for (int i = 0; i < 4; ++i) track.note(0xFFFFFFF, 0, 1, 1);
  const auto t = times({track});
  ASSERT_EQ(t[0].size(), 5u);
  for (std::size_t i = 1; i < t[0].size(); ++i) EXPECT_GE(t[0][i], t[0][i - 1]) << i;
  EXPECT_EQ(t[0].back(), 0xFFFFFFFFu);
  EXPECT_EQ(length_, 0xFFFFFFFFu);
}

TEST_F(TempoMapTest, ConversionIsTheExactQuotientTruncated) {
  EXPECT_EQ(ticksToMs(500000, 96, 96), 500u);
  EXPECT_EQ(ticksToMs(500000, 1000, 0), 0u);
  EXPECT_EQ(ticksToMs(0, 0, 0), 0u) << "0/0 counts as 0";
  for (std::uint64_t us : {1ull, 500000ull, 0xFFFFFFull}) {
    for (std::uint64_t ticks : {1ull, 95ull, 12345ull, (1ull << 27) - 1}) {
      for (std::uint64_t division : {1ull, 96ull, 480ull, 0xFFFFull}) {
        EXPECT_EQ(ticksToMs(static_cast<std::uint32_t>(us), static_cast<std::uint32_t>(ticks),
                            static_cast<std::uint32_t>(division)),
                  std::min<std::uint64_t>(us * ticks / (1000 * division), 0xFFFFFFFFu))
            << "clamped like every time, no longer wrapped";
      }
    }
  }
}

// The expansion's divider against the plain quotient, near every multiple and far apart, up
// to the largest product a song can hold.
TEST_F(TempoMapTest, TheFastDividerIsTheExactQuotient) {
  std::mt19937_64 random(11);
  for (const std::uint32_t division : {1u, 3u, 96u, 480u, 0x7FFFu, 0xFFFFu}) {
    const TrackClock::MsDivider divide(division);
    const std::uint64_t d = std::uint64_t{division} * 1000;
    for (int i = 0; i < 100000; ++i) {
      const std::uint64_t magnitude = std::uint64_t{1} << (random() % 57);
      const std::uint64_t base = random() % magnitude;
      for (const std::uint64_t n : {base, base / d * d, base / d * d - 1, base / d * d + d - 1}) {
        ASSERT_EQ(divide(n), TrackClock::msOf(n, division)) << n << " / " << d;
      }
    }
  }
  EXPECT_EQ(TrackClock::MsDivider(0)(12345), 0u);
  EXPECT_EQ(TrackClock::MsDivider(1)(~std::uint64_t{0}), 0xFFFFFFFFu);
}

TEST_F(TempoMapTest, ManyTempoChangesKeepTheirOrder) {
  TrackWriter tempos;
  for (int i = 0; i < 100000; ++i) tempos.tempo(1, 400000 + (i % 7) * 1000);
  const QuavrSong song = loadBytes(smf(96, {tempos, TrackWriter().note(100000, 0, 1, 1)}));
  const SongCopy view = inspect(song);
  // Truncated once at the end (it was once per tempo segment, 4 % short here).
  std::uint64_t usTicks = 0;
  std::uint32_t tempo = 500000;
  for (int i = 0; i < 100000; ++i) {
    usTicks += tempo;
    tempo = 400000 + (i % 7) * 1000;
  }
  EXPECT_EQ(view.tracks[1].events[0].timeMs, usTicks / 96000);
  EXPECT_EQ(bgmDeleteSong(song), 0u);
}

// Each segment's ms used to be truncated before they were added: 0.52 ms per tick became 0.
TEST_F(TempoMapTest, ATempoEventOnEveryTickLosesNoTime) {
  TrackWriter tempos;
  for (int i = 0; i < 3840; ++i) tempos.tempo(i == 0 ? 0 : 1, 500000);
  const auto t = times({tempos.end(1), TrackWriter().note(3840, 0, 1, 1).note(1, 0, 1, 0)}, 960);
  EXPECT_EQ(t[1][0], 2000u);
  EXPECT_EQ(t[1][1], 2000u) << "2000.52 ms, truncated";
  EXPECT_EQ(length_, 2000u);
}

// Events are timed as they are expanded, from the tempo changes the sizing pass gathered; a pass
// over the finished song must find the very same times, whatever track holds the changes and
// however they are stored.
TEST_F(TempoMapTest, TimesMadeDuringExpansionAreThoseOfATimingPassAfterIt) {
  std::mt19937 random(16);
  for (int round = 0; round < 40; ++round) {
    std::vector<Bytes> tracks;
    for (int t = 1 + static_cast<int>(random() % 4); t > 0; --t) {
      TrackWriter track;
      for (int e = static_cast<int>(random() % 30); e > 0; --e) {
        const std::uint32_t delta = random() % 4 == 0 ? random() : random() % 200;
        switch (random() % 8) {
          case 0:
            track.tempo(delta, 1 + random() % 0xFFFFFF);
            break;
          case 1:  // stored short in a quarter of the songs only: it sends the song the slow way
            if (round % 4 == 0) track.raw(delta, {0xFF, 0x51, 0x01, 0x07});
            break;
          default:
            track.note(delta, 0, random() % 128, random() % 128);
            break;
        }
      }
      tracks.push_back(track);
    }
    const QuavrSong song = loadBytes(smf(static_cast<std::uint16_t>(1 + random() % 960), tracks));
    const SongCopy loaded = inspect(song);
    ASSERT_TRUE(timeSong(song));
    const SongCopy retimed = inspect(song);
    EXPECT_EQ(bgmDeleteSong(song), 0u);
    EXPECT_EQ(loaded.lengthMs, retimed.lengthMs) << "round " << round;
    ASSERT_EQ(loaded.tracks.size(), retimed.tracks.size());
    for (std::size_t t = 0; t < loaded.tracks.size(); ++t) {
      EXPECT_EQ(loaded.tracks[t].lengthMs, retimed.tracks[t].lengthMs) << "round " << round;
      for (std::size_t i = 0; i < loaded.tracks[t].events.size(); ++i)
        ASSERT_EQ(loaded.tracks[t].events[i].timeMs, retimed.tracks[t].events[i].timeMs)
            << "round " << round << ", track " << t << ", event " << i;
    }
  }
}

}  // namespace
}  // namespace quavr::test
