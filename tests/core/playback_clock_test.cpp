#include "playback/playback_clock.h"
#include "tests/core/playback_fixture.h"

#include <atomic>
#include <thread>

namespace quavr::test {
namespace {

using namespace platform;
using Sent = std::vector<std::vector<std::uint32_t>>;
constexpr std::uint32_t kEot = 0;  // End of Track sends nothing

class PlaybackClockTest : public PlaybackTest {};

TEST_F(PlaybackClockTest, AnEventGoesInTheFirstTickWhoseClockHasReachedIt) {
  const QuavrDevice d = open(10);
  bgmPlay(d, song({TrackWriter().note(0, 0, 1, 1).note(20, 0, 2, 1).note(1, 0, 3, 1).end(9)}));
  const Sent sent = ticks(d, 4);
  EXPECT_EQ(sent, (Sent{{noteOn(0, 1, 1)}, {}, {noteOn(0, 2, 1)}, {noteOn(0, 3, 1)}}));
  // Tick n comes n periods after play; the fake stamps each message with that time.
  EXPECT_EQ(fake::records()[0].timeMs, 10u);
  EXPECT_EQ(fake::records()[1].timeMs, 30u);
  EXPECT_EQ(fake::records()[2].timeMs, 40u);
  EXPECT_EQ(bgmBgmStatus(d), Idle) << "the End of Track at 30 ms ended the song in tick 4";
}

TEST_F(PlaybackClockTest, WithinATickTracksGoInIndexOrderWhateverTheirTimes) {
  const QuavrDevice d = open(10);
  bgmPlay(d, song({TrackWriter().note(15, 0, 1, 1).note(0, 0, 2, 1),
                   TrackWriter().note(5, 1, 3, 1).note(1, 1, 4, 1)}));
  const Sent sent = ticks(d, 3);
  EXPECT_EQ(sent[1], (std::vector<std::uint32_t>{noteOn(1, 3, 1), noteOn(1, 4, 1)}));
  EXPECT_EQ(sent[2], (std::vector<std::uint32_t>{noteOn(0, 1, 1), noteOn(0, 2, 1)}));
}

TEST_F(PlaybackClockTest, ThePeriodIsClampedIntoTheTimersBoundsAndKept) {
  fake::setTimerCaps(5, 50);
  const Bytes track = TrackWriter().end(1000);
  const QuavrDevice fast = open(0);
  const QuavrDevice slow = open(100);
  const QuavrDevice edge = open(50);
  bgmPlay(fast, song({track}));
  bgmPlay(slow, song({track}));
  bgmPlay(edge, song({track}));
  EXPECT_EQ(record(fast).periodMs, 5u);
  EXPECT_EQ(record(slow).periodMs, 50u);
  EXPECT_EQ(record(edge).periodMs, 50u);
  tick(fast);
  tick(slow);
  EXPECT_EQ(clock(fast), 5u);
  EXPECT_EQ(clock(slow), 50u);
  EXPECT_EQ(fake::activePeriods(), (std::vector<UINT>{5, 50, 50}));
}

TEST_F(PlaybackClockTest, TheSongEndsWhenItsLastTrackEndsAndThePortIsReset) {
  const QuavrDevice d = open(10);
  const QuavrSong s = song({TrackWriter().note(0, 0, 1, 1).end(25), TrackWriter().end(12)});
  bgmPlay(d, s);
  ticks(d, 3);
  EXPECT_EQ(bgmBgmStatus(d), Playing);
  ticks(d, 1);
  EXPECT_EQ(bgmBgmStatus(d), Idle);
  EXPECT_EQ(fake::records().back().kind, fake::Record::Reset);
  EXPECT_EQ(fake::records().back().timeMs, 40u);
  EXPECT_TRUE(fake::liveTimers().empty());
  EXPECT_EQ(bgmDeleteSong(s), 0u) << "unbound";
  EXPECT_EQ(bgmPlay(d, song({TrackWriter().end()})), Idle) << "plays again from Idle";
}

TEST_F(PlaybackClockTest, RepeatStartsTheNextPassOnePeriodAhead) {
  const QuavrDevice d = open(10);
  bgmSetRepeat(d, 1);
  // Track 1 ends the song at 40 ms; track 2, above it, has a time-0 note.
  bgmPlay(d, song({TrackWriter().note(0, 0, 60, 1).end(30), TrackWriter().note(0, 1, 61, 1).end(40),
                   TrackWriter().note(0, 2, 62, 1).end(10)}));
  const Sent first = ticks(d, 5);
  EXPECT_EQ(first[0],
            (std::vector<std::uint32_t>{noteOn(0, 60, 1), noteOn(1, 61, 1), noteOn(2, 62, 1)}));
  // The ending tick: reset, then track 2's time-0 note of the new pass.
  EXPECT_EQ(first[4], std::vector<std::uint32_t>{noteOn(2, 62, 1)});
  EXPECT_EQ(bgmBgmStatus(d), Playing);
  EXPECT_EQ(clock(d), 10u) << "the new pass's first tick sees one period";
  const Sent second = ticks(d, 1);
  EXPECT_EQ(second[0], (std::vector<std::uint32_t>{noteOn(0, 60, 1), noteOn(1, 61, 1)}));
}

TEST_F(PlaybackClockTest, PauseAndResumeKeepTheClockValuesOfEveryEvent) {
  const Bytes track = TrackWriter().note(0, 0, 1, 1).note(25, 0, 2, 1).note(20, 0, 3, 1).end();
  const QuavrDevice straight = open(10);
  bgmPlay(straight, song({track}));
  const Sent expected = ticks(straight, 6);
  fake::clearRecords();
  const QuavrDevice paused = open(10);
  bgmPlay(paused, song({track}));
  Sent sent = ticks(paused, 2);
  bgmPause(paused);
  bgmPause(paused);
  for (auto& t : ticks(paused, 4)) sent.push_back(t);
  EXPECT_EQ(sent, expected);
}

TEST_F(PlaybackClockTest, AFailedSendIsRecordedAndTheSongGoesOn) {
  const QuavrDevice d = open(10);
  bgmPlay(d, song({TrackWriter().note(0, 0, 1, 1).note(0, 0, 2, 1).note(10, 0, 3, 1).end(10)}));
  fake::inject(fake::Op::MidiOutShortMsg, MIDIERR_NOTREADY);
  ticks(d, 1);
  EXPECT_EQ(fake::shortMessages(), std::vector<std::uint32_t>{noteOn(0, 2, 1)});
  EXPECT_EQ(uMidiStatus, 0u) << "the next send's result";
  fake::inject(fake::Op::MidiOutShortMsg, MIDIERR_NOTREADY);
  ticks(d, 1);
  EXPECT_EQ(uMidiStatus, MIDIERR_NOTREADY);
  ticks(d, 1);
  EXPECT_EQ(uMidiStatus, 0u) << "a meta event is a successful send";
  EXPECT_EQ(bgmBgmStatus(d), Idle);
}

TEST_F(PlaybackClockTest, ASongWithoutTracksPlaysSilentlyUntilStopped) {
  const QuavrDevice d = open(10);
  bgmSetRepeat(d, 1);
  bgmPlay(d, song({}));
  ticks(d, 100);
  EXPECT_EQ(bgmBgmStatus(d), Playing);
  EXPECT_EQ(clock(d), 1000u);
  EXPECT_TRUE(fake::shortMessages().empty());
  EXPECT_EQ(bgmStop(d), Idle);
}

TEST_F(PlaybackClockTest, EmptyTracksHaveEndedFromTheStart) {
  const QuavrDevice d = open(10);
  bgmPlay(d, song({{}, TrackWriter().note(0, 0, 1, 1).end(10), {}}));
  ticks(d, 2);
  EXPECT_EQ(bgmBgmStatus(d), Idle) << "the one track with events ended the song";

  const QuavrDevice e = open(10);
  const QuavrSong allEmpty = song({{}, {}});
  bgmPlay(e, allEmpty);
  ticks(e, 1);
  EXPECT_EQ(bgmBgmStatus(e), Idle) << "ends in its first tick";
  bgmSetRepeat(e, 1);
  bgmPlay(e, allEmpty);
  const int timers = fake::callCount(fake::Op::TimeSetEvent);
  ticks(e, 3);
  EXPECT_EQ(bgmBgmStatus(e), Playing);
  EXPECT_EQ(fake::callCount(fake::Op::TimeSetEvent), timers + 3) << "one pass per tick";
}

// Event times saturate at 0xFFFFFFFF ms (here a tempo map past 49.7 days); the clock saturates
// there too instead of wrapping, so the last events go out and the song ends, or plays again.
// Neither the position nor a length or time the song reports reads as QUAVR_NONE, the value of
// none: they stop at 0xFFFFFFFE.
TEST_F(PlaybackClockTest, TheClockSaturatesWhereEventTimesDo) {
  const QuavrSong s = song({TrackWriter()
                                .tempo(0, 0xFFFFFF)
                                .note(0, 0, 60, 100)
                                .note(300000, 0, 60, 0)  // 300000 × 16.7 s
                                .meta(0, 0x06, text("end"))
                                .end(0)},
                           1);
  for (const std::uint32_t what :
       {QUAVR_INFO_LENGTH, QUAVR_INFO_TRACK_LENGTH, QUAVR_INFO_MARKER_TIME}) {
    EXPECT_EQ(bgmGetSongInfo(s, what, 0), 0xFFFFFFFEu) << what;
  }
  ASSERT_EQ(bgmGetSongLength(s), 0xFFFFFFFEu);
  const QuavrDevice d = open(1000);
  bgmSetLoopCount(d, 1);
  bgmPlay(d, s);
  for (const std::uint32_t ending : {QUAVR_EVENT_LOOPED, QUAVR_EVENT_ENDED}) {
    tick(d);
    ASSERT_EQ(bgmSeek(d, 0xFFFFF000), 0);  // 4 s before the end: 5 ticks
    fake::clearRecords();
    std::uint32_t events = 0;
    for (int i = 0; i < 8 && events == 0; ++i) {
      EXPECT_NE(bgmGetPosition(d), QUAVR_NONE);
      tick(d);
      events = bgmGetPlayInfo(d, QUAVR_PLAY_EVENTS) & ~(QUAVR_EVENT_MARKER | kBeatEvents);
    }
    EXPECT_EQ(events, ending);
    EXPECT_EQ(fake::shortMessages(), std::vector<std::uint32_t>{noteOn(0, 60, 0)});
  }
  EXPECT_EQ(bgmBgmStatus(d), Idle);
}

TEST_F(PlaybackClockTest, AKillThatFailsAtTheEndLeavesTheTimerTickingIdly) {
  const QuavrDevice d = open(10);
  bgmSetRepeat(d, 1);
  bgmPlay(d, song({TrackWriter().note(0, 0, 1, 1).end(10)}));
  fake::inject(fake::Op::TimeKillEvent, MMSYSERR_INVALPARAM);
  ticks(d, 2);
  EXPECT_EQ(bgmBgmStatus(d), Playing) << "the stop failed, and repeat found the device busy";
  const std::size_t sent = fake::records().size();
  ticks(d, 3);
  EXPECT_EQ(fake::records().size(), sent) << "nothing more is sent";
  EXPECT_EQ(clock(d), 50u);
  EXPECT_EQ(bgmStop(d), Idle);
}

TEST_F(PlaybackClockTest, TicksOfAnotherTimerOrDeviceDoNothing) {
  const QuavrDevice d = open(10);
  bgmPlay(d, song({TrackWriter().note(0, 0, 1, 1).end(100)}));
  const MidiDevice before = record(d);
  clockTick(before.timerId + 1, 0, d, 0, 0);
  clockTick(before.timerId, 0, d ^ 0x00400000u, 0, 0);
  clockTick(before.timerId, 0, 0, 0, 0);
  EXPECT_EQ(clock(d), 0u);
  EXPECT_TRUE(fake::records().empty());
  bgmPause(d);
  clockTick(before.timerId, 0, d, 0, 0);
  EXPECT_EQ(clock(d), 0u) << "the killed timer's tick is ignored";
}

// A dense tick lets a waiting host call in after 256 sends, not after all 600, and then sends
// the rest in the same tick: the song's messages, their ticks and the song's time grid are those
// of a tick that no host call interrupted, with the call's own messages where it came in.
TEST_F(PlaybackClockTest, ATickLetsAWaitingHostCallInAndStillSendsAllThatIsDue) {
  TrackWriter dense;
  for (int i = 0; i < 300; ++i) dense.note(0, 0, 1 + i % 100, 1).note(0, 0, 1 + i % 100, 0);
  const Bytes track = dense.note(12, 0, 1, 1).end(0);
  const QuavrDevice quiet = open(10);
  bgmPlay(quiet, song({track}));
  Sent expected = ticks(quiet, 3);
  ASSERT_EQ(expected[0].size(), 600u);
  std::vector<std::uint32_t> volumes;  // what bgmSetVolume(50) sends: each channel's CC7, halved
  for (std::uint32_t c = 0; c < 16; ++c) volumes.push_back(0xB0 | c | 7 << 8 | 50 << 16);
  expected[0].insert(expected[0].begin() + 256, volumes.begin(), volumes.end());

  const QuavrDevice d = open(10);
  bgmPlay(d, song({track}));
  std::thread host;
  fake::onShortMessage([&] {
    if (host.joinable()) return;
    host = std::thread([&] { bgmSetVolume(d, 50); });
    while (findDevice(d)->hostsWaiting.load() == 0) std::this_thread::yield();
  });
  const Sent interrupted = ticks(d, 3);
  host.join();
  fake::onShortMessage(nullptr);
  EXPECT_EQ(interrupted, expected);
  EXPECT_EQ(clock(d), clock(quiet));
}

}  // namespace
}  // namespace quavr::test
