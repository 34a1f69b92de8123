#include "tests/core/playback_fixture.h"

namespace quavr::test {
namespace {

using namespace platform;

class TransportTest : public PlaybackTest {
 protected:
  const Bytes melody = TrackWriter().note(0, 0, 60, 100).note(50, 0, 62, 100).end(50);
};

TEST_F(TransportTest, PlayFromIdleBindsAndStartsAndReportsIdle) {
  const QuavrDevice d = open();
  const QuavrSong s = song({melody});
  EXPECT_EQ(bgmPlay(d, s), Idle);
  EXPECT_EQ(bgmBgmStatus(d), Playing);
  ASSERT_EQ(fake::liveTimers().size(), 1u);
  const fake::TimerInfo timer = fake::liveTimers()[0];
  EXPECT_EQ(timer.delayMs, 10u);
  EXPECT_EQ(timer.resolutionMs, 10u);
  EXPECT_EQ(timer.user, d);
  EXPECT_EQ(timer.flags, TIME_PERIODIC);
  EXPECT_EQ(fake::activePeriods(), std::vector<UINT>{10});
  EXPECT_EQ(GlobalFlags(s) & GMEM_LOCKCOUNT, 1u) << "a bound song stays resolved";
}

TEST_F(TransportTest, PlayingAndPausedIgnorePlay) {
  const QuavrDevice d = open();
  const QuavrSong s = song({melody});
  const QuavrSong other = song({melody});
  bgmPlay(d, s);
  EXPECT_EQ(bgmPlay(d, other), Playing);
  EXPECT_EQ(record(d).songHandle, s) << "the playing song goes on";
  EXPECT_EQ(bgmPause(d), Paused);
  EXPECT_EQ(bgmPlay(d, s), Paused) << "play does not resume";
  EXPECT_EQ(bgmBgmStatus(d), Paused);
  EXPECT_TRUE(fake::liveTimers().empty());
}

TEST_F(TransportTest, PauseTwiceResumesWhereItStood) {
  const QuavrDevice d = open();
  bgmPlay(d, song({melody}));
  tick(d);
  tick(d);
  EXPECT_EQ(bgmPause(d), Paused);
  EXPECT_TRUE(fake::activePeriods().empty());
  ASSERT_EQ(fake::records().back().kind, fake::Record::Reset) << "a pause silences the port";
  EXPECT_EQ(clock(d), 20u);
  EXPECT_EQ(bgmPause(d), Playing);
  EXPECT_EQ(clock(d), 20u) << "nothing rewound";
  const auto sent = ticks(d, 5);  // clocks 20..60
  EXPECT_EQ(sent[3], std::vector<std::uint32_t>{noteOn(0, 62, 100)})
      << "the 50 ms note at clock 50";
}

TEST_F(TransportTest, StopUnbindsFromPlayingAndPausedAndNothingOtherwise) {
  const QuavrDevice d = open();
  const QuavrSong s = song({melody});
  EXPECT_EQ(bgmStop(d), Idle);
  EXPECT_EQ(bgmStop(d), Idle);
  bgmPlay(d, s);
  EXPECT_EQ(bgmStop(d), Idle);
  EXPECT_TRUE(fake::liveTimers().empty());
  EXPECT_EQ(GlobalFlags(s) & GMEM_LOCKCOUNT, 0u) << "unbound";
  bgmPlay(d, s);
  bgmPause(d);
  const int resets = fake::callCount(fake::Op::MidiOutReset);
  const int kills = fake::callCount(fake::Op::TimeKillEvent);
  EXPECT_EQ(bgmStop(d), Idle);
  EXPECT_EQ(fake::callCount(fake::Op::MidiOutReset), resets) << "a paused stop leaves the port";
  EXPECT_EQ(fake::callCount(fake::Op::TimeKillEvent), kills);
  EXPECT_EQ(bgmDeleteSong(s), 0u) << "an unbound song can be deleted";
}

TEST_F(TransportTest, StopThenPlayStartsOverFromTheBeginning) {
  const QuavrDevice d = open();
  const QuavrSong s = song({melody});
  bgmPlay(d, s);
  ticks(d, 7);
  bgmStop(d);
  fake::clearRecords();
  bgmPlay(d, s);
  EXPECT_EQ(clock(d), 0u);
  EXPECT_EQ(ticks(d, 1)[0], std::vector<std::uint32_t>{noteOn(0, 60, 100)});
}

TEST_F(TransportTest, RepeatIsStoredAsGivenAndOutlivesStops) {
  const QuavrDevice d = open();
  EXPECT_EQ(bgmGetRepeat(d), 0);
  EXPECT_EQ(bgmSetRepeat(d, 5), 5);
  EXPECT_EQ(bgmGetRepeat(d), 5);
  bgmPlay(d, song({melody}));
  bgmStop(d);
  EXPECT_EQ(bgmGetRepeat(d), 5);
  EXPECT_EQ(bgmSetRepeat(d, 0), 0);
}

TEST_F(TransportTest, ATimerThatCannotStartLeavesTheDeviceReady) {
  const QuavrDevice d = open();
  const QuavrSong s = song({melody});
  fake::inject(fake::Op::TimeSetEvent, 0);
  EXPECT_EQ(bgmPlay(d, s), Idle);
  EXPECT_EQ(bgmBgmStatus(d), Ready);
  EXPECT_TRUE(fake::activePeriods().empty()) << "the period begun for the timer was ended";
  EXPECT_EQ(bgmPlay(d, s), Ready);
  EXPECT_EQ(bgmStop(d), Ready);
  EXPECT_EQ(bgmPause(d), Ready);
  EXPECT_EQ(bgmDeleteSong(s), s) << "still bound";
  EXPECT_EQ(bgmCloseMidiDev(d), MMSYSERR_NOERROR);
  EXPECT_EQ(bgmDeleteSong(s), 0u) << "closing let the song go";
}

TEST_F(TransportTest, EveryTimerRefusalLeavesTheStateAsItWas) {
  const QuavrDevice d = open();
  const QuavrSong s = song({melody});
  fake::inject(fake::Op::TimeGetDevCaps, TIMERR_NOCANDO);
  EXPECT_EQ(bgmPlay(d, s), Idle);
  EXPECT_EQ(bgmBgmStatus(d), Ready);
  EXPECT_EQ(fake::callCount(fake::Op::TimeBeginPeriod), 0);

  const QuavrDevice e = open(3);
  fake::setTimerCaps(5, 50);
  fake::inject(fake::Op::TimeBeginPeriod, TIMERR_NOCANDO);
  EXPECT_EQ(bgmPlay(e, song({melody})), Idle);
  EXPECT_EQ(bgmBgmStatus(e), Ready);
  EXPECT_EQ(record(e).periodMs, 5u) << "the clamped period is kept";
  EXPECT_TRUE(fake::liveTimers().empty());
}

TEST_F(TransportTest, ResumeThatCannotStartStaysPausedAndCanRetry) {
  const QuavrDevice d = open();
  bgmPlay(d, song({melody}));
  bgmPause(d);
  fake::inject(fake::Op::TimeSetEvent, 0);
  EXPECT_EQ(bgmPause(d), Paused);
  EXPECT_EQ(bgmPause(d), Playing);
}

TEST_F(TransportTest, AKillThatFailsChangesNothing) {
  const QuavrDevice d = open();
  bgmPlay(d, song({melody}));
  fake::inject(fake::Op::TimeKillEvent, MMSYSERR_INVALPARAM, 2);
  EXPECT_EQ(bgmStop(d), Playing);
  EXPECT_EQ(bgmPause(d), Playing);
  EXPECT_EQ(fake::liveTimers().size(), 1u);
  EXPECT_EQ(fake::activePeriods().size(), 1u);
  EXPECT_EQ(bgmStop(d), Idle);
}

TEST_F(TransportTest, PlayBindsOnlyALoadedSongThatNoOtherDevicePlays) {
  const QuavrDevice a = open();
  const QuavrDevice b = open();
  const QuavrSong s = song({melody});
  const HGLOBAL notASong = GlobalAlloc(GHND, 64);
  for (std::uint32_t bad : {0u, notASong, a, s ^ 0x00400000u}) {
    EXPECT_EQ(bgmPlay(b, bad), Idle) << bad;
    EXPECT_EQ(bgmBgmStatus(b), Idle) << bad;
  }
  EXPECT_EQ(bgmPlay(a, s), Idle);
  EXPECT_EQ(bgmPlay(b, s), Idle) << "bound to a";
  EXPECT_EQ(bgmBgmStatus(b), Idle);
  bgmStop(a);
  EXPECT_EQ(bgmPlay(b, s), Idle);
  EXPECT_EQ(bgmBgmStatus(b), Playing) << "one song on several devices, one after another";
  GlobalFree(notASong);
}

TEST_F(TransportTest, HandlesOfNoOpenDeviceAreRefused) {
  const QuavrDevice d = open();
  const QuavrSong s = song({melody});
  const QuavrDevice closed = bgmOpenMidiDev(0, 10);
  bgmCloseMidiDev(closed);
  uMidiStatus = 42;
  for (std::uint32_t bad : {0u, s, closed, d ^ 0x00400000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(bgmPlay(bad, s), -1);
    EXPECT_EQ(bgmStop(bad), -1);
    EXPECT_EQ(bgmPause(bad), -1);
    EXPECT_EQ(bgmBgmStatus(bad), -1);
    EXPECT_EQ(bgmSetRepeat(bad, 7), 0);
    EXPECT_EQ(bgmGetRepeat(bad), 0);
  }
  EXPECT_EQ(uMidiStatus, 42u);
  EXPECT_EQ(GlobalFlags(s) & GMEM_LOCKCOUNT, 0u) << "nothing was bound";
  EXPECT_EQ(bgmBgmStatus(d), Idle);
}

TEST_F(TransportTest, CloseStopsFirst) {
  const QuavrDevice d = open();
  const QuavrSong s = song({melody});
  bgmPlay(d, s);
  EXPECT_EQ(bgmCloseMidiDev(d), MMSYSERR_NOERROR);
  EXPECT_TRUE(fake::liveTimers().empty());
  EXPECT_TRUE(fake::activePeriods().empty());
  EXPECT_EQ(bgmDeleteSong(s), 0u);
}

}  // namespace
}  // namespace quavr::test
