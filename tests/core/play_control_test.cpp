// The host's playback controls: loop counts, tempo, volume and fades, muted channels, the
// events it polls, and their refusal of handles that name no device.
#include <algorithm>

#include "tests/core/playback_fixture.h"

namespace quavr::test {
namespace {

std::uint32_t cc(std::uint8_t channel, std::uint8_t controller, std::uint8_t value) {
  return (0xB0u | channel) | (std::uint32_t{controller} << 8) | (std::uint32_t{value} << 16);
}

std::vector<std::uint32_t> flat(const std::vector<std::vector<std::uint32_t>>& ticks) {
  std::vector<std::uint32_t> out;
  for (const auto& t : ticks) out.insert(out.end(), t.begin(), t.end());
  return out;
}

bool has(const std::vector<std::uint32_t>& messages, std::uint32_t m) {
  return std::find(messages.begin(), messages.end(), m) != messages.end();
}

class PlayControlTest : public PlaybackTest {
 protected:
  // Notes at 0 and 200 on channel 0, a CC7 of 80 at 100: 300 ms long.
  QuavrSong tune() {
    return song({TrackWriter()
                     .note(0, 0, 60, 100)
                     .raw(100, {0xB0, 7, 80})
                     .note(100, 0, 62, 100)
                     .note(100, 0, 62, 0)
                     .end()});
  }
  // Ticks until the device is Idle (at most n); the ticks it took.
  int playOut(QuavrDevice d, int n = 1000) {
    int i = 0;
    while (i < n && bgmBgmStatus(d) == Playing) tick(d), ++i;
    return i;
  }
};

// A count of n plays the loop n more times, then the tail past the loop end, then stops.
TEST_F(PlayControlTest, LoopCountsEndWithTheTail) {
  const QuavrSong s = tune();
  const QuavrDevice d = open(10);
  bgmSetLoopPoints(s, 100, 200);
  ASSERT_EQ(bgmSetLoopCount(d, 2), 0);
  EXPECT_EQ(bgmGetRepeat(d), 1);
  bgmPlay(d, s);
  // 0..300 straight, plus two passes of 100 ms: 500 ms of song, 51 ticks (clock 0 to 500).
  EXPECT_EQ(playOut(d), 51);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE), 2u);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOP_COUNT), 0u);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & ~kBeatEvents,
            QUAVR_EVENT_LOOPED | QUAVR_EVENT_ENDED);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS), 0u) << "reading cleared them";
  EXPECT_EQ(bgmGetRepeat(d), 0) << "the count ran out";
  const auto notes = fake::shortMessages();
  EXPECT_EQ(std::count(notes.begin(), notes.end(), noteOn(0, 62, 0)), 1) << "the tail, once";

  // Without loop points the whole song repeats: count 1 plays it twice, with the legacy reset.
  bgmSetLoopPoints(s, QUAVR_NONE, QUAVR_NONE);
  bgmSetLoopCount(d, 1);
  fake::clearRecords();
  bgmPlay(d, s);
  playOut(d);
  const auto again = fake::shortMessages();
  EXPECT_EQ(std::count(again.begin(), again.end(), noteOn(0, 60, 100)), 2);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOPS_DONE), 1u);

  // The legacy flag: forever, and read back as set.
  EXPECT_EQ(bgmSetRepeat(d, 5), 5);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOP_COUNT), 0xFFFFFFFFu);
  EXPECT_EQ(bgmGetRepeat(d), 5);
  bgmSetLoopCount(d, 3);
  EXPECT_EQ(bgmGetRepeat(d), 1) << "a count replaces the flag";
  bgmSetRepeat(d, 5);
  bgmSetLoopCount(d, -7);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOP_COUNT), 0xFFFFFFFFu);
  EXPECT_EQ(bgmGetRepeat(d), 1);
}

// The clock moves period × tempo / 1000 a tick, the fractions carried: exact over many ticks;
// the song's events come at their song times.
TEST_F(PlayControlTest, TempoScalesTheClockExactly) {
  const QuavrSong s = tune();
  for (const std::uint32_t tempo : {500u, 2000u, 333u, 4000u}) {
    SCOPED_TRACE(tempo);
    const QuavrDevice d = open(3);
    bgmSetTempo(d, tempo);
    bgmPlay(d, s);
    std::uint32_t last = 0;
    for (std::uint32_t i = 0; i < 40 && bgmBgmStatus(d) == Playing; ++i) {
      const std::uint32_t at = bgmGetPosition(d);
      EXPECT_EQ(at, i * 3 * tempo / 1000);
      // The CC7 at 100 goes out in the first tick whose clock has reached 100.
      EXPECT_EQ(has(ticks(d, 1)[0], cc(0, 7, 80)), at >= 100 && (i == 0 || last < 100)) << at;
      last = at;
    }
    bgmStop(d);
  }
  const QuavrDevice d = open(10);
  bgmSetTempo(d, 1);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_TEMPO), 250u);
  bgmSetTempo(d, 99999);
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_TEMPO), 4000u);
  EXPECT_EQ(bgmGetPosition(d), 0u) << "no song bound";
}

// CC7 goes out scaled; a change resends every channel's CC7 (100 where the song set none),
// scaled; a loop jump's restore is scaled too.
TEST_F(PlayControlTest, VolumeScalesChannelVolume) {
  const QuavrSong s = tune();
  const QuavrDevice d = open(10);
  bgmSetVolume(d, 50);
  EXPECT_TRUE(fake::shortMessages().empty()) << "no song: nothing to resend";
  bgmSetLoopPoints(s, 50, 150);
  bgmSetLoopCount(d, 1);
  bgmPlay(d, s);
  auto sent = flat(ticks(d, 11));  // clock 0..100
  EXPECT_TRUE(has(sent, cc(0, 7, 40)));
  EXPECT_FALSE(has(sent, cc(0, 7, 80)));
  fake::clearRecords();
  bgmSetVolume(d, 150);  // clamped to 100
  sent = fake::shortMessages();
  ASSERT_EQ(sent.size(), 16u);
  EXPECT_EQ(sent[0], cc(0, 7, 80));
  EXPECT_EQ(sent[1], cc(1, 7, 100));
  bgmSetVolume(d, 25);
  fake::clearRecords();
  sent = flat(ticks(d, 6));  // through 150: the jump restores CC7 as at 50, 100 scaled
  EXPECT_TRUE(has(sent, cc(0, 7, 25)));
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME), 25u);
}

// A fade steps each tick, reaches its target exactly, freezes while paused, then does `then`.
TEST_F(PlayControlTest, FadeReachesItsTargetThenPausesOrStops) {
  const QuavrSong s = song({TrackWriter().note(0, 0, 60, 100).note(5000, 0, 60, 0).end()});
  for (const std::uint32_t then : {QUAVR_FADE_PAUSE, QUAVR_FADE_STOP, QUAVR_FADE_CONTINUE}) {
    SCOPED_TRACE(then);
    const QuavrDevice d = open(10);
    bgmPlay(d, s);
    tick(d);
    ASSERT_EQ(bgmFade(d, 0, 95, then), 0);
    std::vector<std::uint32_t> volumes;
    for (int i = 0; i < 5; ++i) {
      tick(d);
      volumes.push_back(bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME));
    }
    bgmPause(d);
    tick(d);  // paused: no tick, the fade stands
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME), volumes.back());
    bgmPause(d);
    fake::clearRecords();
    for (int i = 0; i < 5; ++i) {
      tick(d);
      volumes.push_back(bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME));
    }
    EXPECT_EQ(volumes, (std::vector<std::uint32_t>{90, 79, 69, 58, 48, 37, 27, 16, 6, 0}));
    EXPECT_TRUE(has(fake::shortMessages(), cc(0, 7, 0))) << "the last step sent silence";
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & ~kBeatEvents, QUAVR_EVENT_FADE_DONE);
    const std::int32_t expected = then == QUAVR_FADE_PAUSE  ? Paused
                                  : then == QUAVR_FADE_STOP ? Idle
                                                            : Playing;
    EXPECT_EQ(bgmBgmStatus(d), expected);
    bgmSetVolume(d, 100);
    bgmStop(d);
  }
  const QuavrDevice d = open(10);
  EXPECT_EQ(bgmFade(d, 0, 100, 3), -1);
}

// A fade ends with its song, whichever way the song ends: the volume goes back to where it stood
// before the fade, no FADE_DONE is reported, and the next song starts at the host's volume with
// no fade to stop it. A fade that arrives and plays on sets the host's volume; one that arrives
// and stops does not. With no song bound there is no fade to set.
TEST_F(PlayControlTest, AFadeEndsWithItsSongAndTheNextStartsAtTheHostsVolume) {
  const QuavrSong shortSong = song({TrackWriter().note(0, 0, 60, 100).end(50)});
  const QuavrSong next = song({TrackWriter().note(0, 0, 60, 100).end(5000)});
  const QuavrDevice d = open(10);
  enum Way { kEnd, kStop, kSecondPassEnd, kArrivesAndPlaysOn, kArrivesAndStops };
  struct Case {
    Way way;
    std::uint32_t after, nextStarts;
  };
  for (const Case c : {Case{kEnd, 80, 80}, Case{kStop, 80, 80}, Case{kSecondPassEnd, 80, 80},
                       Case{kArrivesAndPlaysOn, 30, 30}, Case{kArrivesAndStops, 30, 80}}) {
    SCOPED_TRACE(c.way);
    bgmSetVolume(d, 80);
    bgmSetLoopCount(d, c.way == kSecondPassEnd ? 1 : 0);
    bgmPlay(d, shortSong);
    tick(d);
    const bool arrives = c.way >= kArrivesAndPlaysOn;
    ASSERT_EQ(bgmFade(d, 30, arrives ? 20 : 200,
                      c.way == kArrivesAndPlaysOn ? QUAVR_FADE_CONTINUE : QUAVR_FADE_STOP),
              0);
    tick(d);
    if (c.way == kStop) {
      bgmStop(d);
    } else {
      playOut(d);
    }
    ASSERT_EQ(bgmBgmStatus(d), Idle);
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME), c.after);
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & QUAVR_EVENT_FADE_DONE,
              arrives ? QUAVR_EVENT_FADE_DONE : 0u);
    // Refused with no song bound: nothing waits for the next one.
    EXPECT_EQ(bgmFade(d, 0, 10, QUAVR_FADE_STOP), -1);
    EXPECT_EQ(bgmFadeAt(d, 0, 0, 10, QUAVR_FADE_STOP), -1);
    bgmPlay(d, next);
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME), c.nextStarts);
    EXPECT_EQ(playOut(d, 40), 40) << "not stopped by the old fade";
    EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & QUAVR_EVENT_FADE_DONE, 0u);
    bgmStop(d);
  }
  // A fade waiting for a time its song never reached does not wait for the next song's.
  bgmPlay(d, shortSong);
  ASSERT_EQ(bgmFadeAt(d, 40, 0, 10, QUAVR_FADE_STOP), 0);
  bgmSeek(d, 30);
  playOut(d);
  bgmPlay(d, next);
  EXPECT_EQ(playOut(d, 40), 40);
}

// A fade at a song time begins at the tick that plays the song up to it, in the last pass, as
// bgmFade called just before that tick would: whatever the period and tempo, and whenever the
// host set it.
TEST_F(PlayControlTest, AFadeAtASongTimeBeginsAtTheTickThatReachesIt) {
  const QuavrSong s = song({TrackWriter().note(0, 0, 60, 100).end(3000)});
  const QuavrSong other = song({TrackWriter().end(3000)});
  for (const std::uint32_t period : {1u, 7u, 10u, 33u}) {
    for (const std::uint32_t tempo : {1000u, 730u, 2500u}) {
      for (const std::uint32_t at : {0u, 95u, 400u}) {
        SCOPED_TRACE(std::to_string(period) + " ms, tempo " + std::to_string(tempo) + ", at " +
                     std::to_string(at));
        const QuavrDevice d = open(period);
        bgmSetTempo(d, tempo);
        bgmSetLoopPoints(s, 20, 120);
        bgmSetLoopCount(d, 1);
        bgmPlay(d, s);
        ASSERT_EQ(bgmFadeAt(d, at, 10, 250, QUAVR_FADE_CONTINUE), 0);
        std::uint32_t begun = 0;  // the position before the tick that began it
        for (int i = 0; i < 2000 && record(d).fade.active == 0; ++i) {
          begun = bgmGetPosition(d);
          tick(d);
        }
        // The loop [20, 120) plays twice: a time inside it begins only in the second pass.
        EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_LOOP_COUNT), 0u);
        EXPECT_GE(begun, at);
        // At the latest a tick after the jump that began the last pass.
        EXPECT_LE(begun, std::max(at, 20u) + 2 * (period * tempo + 999) / 1000);
        // From then on it is bgmFade's fade, set just before that tick.
        const QuavrDevice e = open(period);
        bgmPlay(e, other);
        ASSERT_EQ(bgmFade(e, 10, 250, QUAVR_FADE_CONTINUE), 0);
        std::vector<std::uint32_t> fadeAt, fadeNow;
        for (int i = 0; i < 40; ++i) {
          fadeAt.push_back(bgmGetPlayInfo(d, QUAVR_PLAY_VOLUME));
          tick(d);
          tick(e);
          fadeNow.push_back(bgmGetPlayInfo(e, QUAVR_PLAY_VOLUME));
        }
        EXPECT_EQ(fadeAt, fadeNow);
        bgmStop(d);
        bgmStop(e);
        if (HasFailure()) return;
      }
    }
  }
}

// Muting ends the channel's sounding notes and holds back its notes; its other events go.
TEST_F(PlayControlTest, MutedChannelsSendNoNotes) {
  const QuavrSong s = song({TrackWriter()
                                .note(0, 0, 60, 100)
                                .note(0, 1, 64, 100)
                                .note(100, 0, 62, 100)
                                .program(0, 0, 5)
                                .note(0, 1, 65, 100)
                                .end(100)});
  const QuavrDevice d = open(10);
  bgmPlay(d, s);
  tick(d);
  fake::clearRecords();
  ASSERT_EQ(bgmSetChannelMask(d, 0x10001), 0);
  EXPECT_EQ(fake::shortMessages(), (std::vector<std::uint32_t>{0x3C80}));
  EXPECT_EQ(bgmGetPlayInfo(d, QUAVR_PLAY_MUTED), 1u);
  bgmSetChannelMask(d, 1);  // already muted: nothing more to end
  EXPECT_EQ(fake::shortMessages().size(), 1u);
  const auto sent = flat(ticks(d, 10));
  EXPECT_FALSE(has(sent, noteOn(0, 62, 100)));
  EXPECT_TRUE(has(sent, 0x05C0u)) << "its program still goes";
  EXPECT_TRUE(has(sent, noteOn(1, 65, 100)));
}

// The fuzzer's find: a note-on whose key byte is a status byte (FF) indexed past the device's
// table of sounding notes. It still goes out, and is not ended as a note.
TEST_F(PlayControlTest, AKeyBytePast127IsSentButNotTrackedAsSounding) {
  const QuavrDevice d = open(10);
  bgmPlay(d, song({TrackWriter().raw(0, {0x90, 0xFF, 0x40}).note(0, 0, 60, 100).end(100)}));
  tick(d);
  EXPECT_TRUE(has(fake::shortMessages(), 0x40FF90u));
  fake::clearRecords();
  ASSERT_EQ(bgmSetChannelMask(d, 1), 0);
  EXPECT_EQ(fake::shortMessages(), (std::vector<std::uint32_t>{0x3C80}));
}

TEST_F(PlayControlTest, EveryCallRefusesBadHandlesAndWorksInEveryState) {
  EXPECT_EQ(bgmGetVersion(), 0x000A00u);
  const QuavrDevice closed = open(10);
  bgmCloseMidiDev(closed);
  devices_.pop_back();
  for (const QuavrDevice bad : {0u, 0xDEAD0000u, closed}) {
    EXPECT_EQ(bgmGetPosition(bad), 0xFFFFFFFFu);
    EXPECT_EQ(bgmSetLoopCount(bad, 1), -1);
    EXPECT_EQ(bgmSetTempo(bad, 1000), -1);
    EXPECT_EQ(bgmSetVolume(bad, 50), -1);
    EXPECT_EQ(bgmFade(bad, 0, 10, QUAVR_FADE_STOP), -1);
    EXPECT_EQ(bgmFadeAt(bad, 0, 0, 10, QUAVR_FADE_STOP), -1);
    EXPECT_EQ(bgmSetChannelMask(bad, 1), -1);
    EXPECT_EQ(bgmGetPlayInfo(bad, QUAVR_PLAY_VOLUME), 0xFFFFFFFFu);
    EXPECT_EQ(bgmSeek(bad, 0), -1);
  }
  const QuavrSong s = tune();
  const QuavrDevice d = open(10);
  const auto exercise = [&](QuavrDevice d) {
    EXPECT_EQ(bgmSetLoopCount(d, 3), 0);
    EXPECT_EQ(bgmSetTempo(d, 1500), 0);
    EXPECT_EQ(bgmSetVolume(d, 70), 0);
    // A fade needs a song to belong to: Idle has none.
    const std::int32_t fadeResult = bgmBgmStatus(d) == Idle ? -1 : 0;
    EXPECT_EQ(bgmFade(d, 20, 50, QUAVR_FADE_CONTINUE), fadeResult);
    EXPECT_EQ(bgmFadeAt(d, 200, 20, 50, QUAVR_FADE_CONTINUE), fadeResult);
    EXPECT_EQ(bgmSetChannelMask(d, 0xFFFF), 0);
    EXPECT_EQ(bgmSetChannelMask(d, 0), 0);
    EXPECT_EQ(bgmGetPlayInfo(d, 99), 0xFFFFFFFFu);
    EXPECT_NE(bgmGetPosition(d), 0xFFFFFFFFu);
    // A seek needs a song to move: Idle has none.
    EXPECT_EQ(bgmSeek(d, 150), bgmBgmStatus(d) == Idle ? -1 : 0);
    if (bgmBgmStatus(d) != Idle) {
      EXPECT_EQ(bgmGetPosition(d), 150u);
    }
  };
  exercise(d);  // Idle
  bgmPlay(d, s);
  tick(d);
  exercise(d);  // Playing
  bgmPause(d);
  exercise(d);  // Paused
  bgmStop(d);
  const QuavrDevice e = open(10);
  fake::inject(fake::Op::TimeSetEvent, 0);
  bgmPlay(e, s);
  ASSERT_EQ(bgmBgmStatus(e), Ready);
  exercise(e);
}

}  // namespace
}  // namespace quavr::test
