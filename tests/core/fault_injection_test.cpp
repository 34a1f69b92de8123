// Every platform call a host's session makes fails in turn, with each error it can give, and
// every allocation fails in turn: no crash, no sanitizer report, no leaked block, and the
// transport never leaves its four states.
#include <functional>
#include <string>

#include "tests/core/playback_fixture.h"

namespace quavr::test {
namespace {

using namespace platform;
using fake::Op;

void checkState(QuavrDevice device) {
  const std::int32_t state = bgmBgmStatus(device);
  EXPECT_TRUE(state == Idle || state == Ready || state == Playing || state == Paused ||
              (device == 0 && state == -1))
      << state;
}

// Fires the device's timer if it has one.
void tickIfPlaying(QuavrDevice device) {
  Resolved<MidiDevice> d(device);
  const bool playing = d && d->state == Playing;
  const UINT timer = d ? d->timerId : 0;
  d.reset();
  if (playing) fake::fireTimer(timer);
}

// A host's whole session: open, load from a file and from a resource, play with repeat, walk the
// song's events, pause and resume, let a pass end, play the other song, close while it plays,
// delete both.
int gModule = 0;  // the module the song resource is in

void session() {
  const QuavrDevice d = bgmOpenMidiDev(0, 10);
  const QuavrSong fromFile = bgmGetSongFile("song.mid");
  const QuavrSong fromResource = bgmGetSongRsc(&gModule, "Song");
  bgmSetRepeat(d, 1);
  bgmPlay(d, fromFile);
  QuavrSongEvent events[4];  // the walk's order stays with the song until it is deleted
  bgmGetSongEvents(fromFile, 1, events, 4);
  for (int i = 0; i < 12; ++i) {
    tickIfPlaying(d);
    checkState(d);
    if (i == 2) bgmPause(d);
    if (i == 4) bgmPause(d);
    if (i % 3 == 1 && !fake::queuedHeaders().empty())
      fake::completeLongMessage(fake::queuedHeaders().back());
  }
  bgmSetRepeat(d, 0);
  for (int i = 0; i < 12; ++i) tickIfPlaying(d);
  bgmStop(d);
  bgmPlay(d, fromResource);
  tickIfPlaying(d);
  checkState(d);
  bgmCloseMidiDev(d);
  fake::completeAllLongMessages();
  bgmDeleteSong(fromFile);
  bgmDeleteSong(fromResource);
}

class FaultInjectionTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    prepare();
  }
  static void prepare() {
    fake::reset();
    // Two tracks with sysex at 0 and 10 ms, an escape event, a tempo change; 30 ms long.
    const Bytes song = smf(500, {TrackWriter()
                                     .sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7})
                                     .note(0, 0, 60, 90)
                                     .raw(10, {0xF7, 0x01, 0xF8})
                                     .sysex(0, {0x10, 0xF7})
                                     .end(20),
                                 TrackWriter().tempo(0, 500000).program(0, 1, 4).end(30)});
    fake::addFile("song.mid", song);
    fake::addResource(&gModule, "Song", song);
  }
  // Runs the session with a failure armed by `arm`, then checks nothing leaked.
  void runFailing(const std::string& what, const std::function<void()>& arm) {
    prepare();
    arm();
    session();
    fake::completeAllLongMessages();
    EXPECT_EQ(fake::liveBlocks(), 0u) << what;
  }
};

TEST_F(FaultInjectionTest, EveryPlatformCallFailsInTurnWithEachError) {
  session();
  ASSERT_EQ(fake::liveBlocks(), 0u);
  const std::vector<std::pair<Op, std::vector<std::uint32_t>>> failures = {
      {Op::MidiOutOpen, {MMSYSERR_ALLOCATED, MMSYSERR_NOMEM, MMSYSERR_BADDEVICEID}},
      {Op::MidiOutClose, {MIDIERR_STILLPLAYING, MMSYSERR_INVALHANDLE}},
      {Op::MidiOutReset, {MMSYSERR_ERROR, MMSYSERR_INVALHANDLE}},
      {Op::MidiOutShortMsg, {MIDIERR_NOTREADY, MMSYSERR_INVALHANDLE}},
      {Op::MidiOutPrepareHeader, {MMSYSERR_NOMEM, MMSYSERR_INVALPARAM}},
      {Op::MidiOutLongMsg, {MIDIERR_NOTREADY, MIDIERR_UNPREPARED, MMSYSERR_INVALHANDLE}},
      {Op::MidiOutUnprepareHeader, {MIDIERR_STILLPLAYING}},
      {Op::TimeGetDevCaps, {TIMERR_NOCANDO}},
      {Op::TimeBeginPeriod, {TIMERR_NOCANDO}},
      {Op::TimeEndPeriod, {TIMERR_NOCANDO}},
      {Op::TimeSetEvent, {0}},
      {Op::TimeKillEvent, {MMSYSERR_INVALPARAM}},
      {Op::ReadFile, {0}},
  };
  std::vector<int> calls;
  for (const auto& [op, errors] : failures) {
    calls.push_back(fake::callCount(op));
    EXPECT_GT(calls.back(), 0) << "the session never calls op " << static_cast<int>(op);
  }
  int runs = 0;
  for (std::size_t i = 0; i < failures.size(); ++i) {
    const auto& [op, errors] = failures[i];
    for (int nth = 1; nth <= calls[i]; ++nth) {
      for (std::uint32_t error : errors) {
        runFailing("op " + std::to_string(static_cast<int>(op)) + " call " + std::to_string(nth) +
                       " error " + std::to_string(error),
                   [&, op = op, nth, error] { fake::injectAt(op, nth, error); });
        ++runs;
      }
    }
  }
  EXPECT_GT(runs, 50);
}

TEST_F(FaultInjectionTest, EveryAllocationFailsInTurn) {
  session();
  const int allocations = fake::allocationCount();
  ASSERT_GT(allocations, 10);
  for (int nth = 1; nth <= allocations; ++nth) {
    runFailing("allocation " + std::to_string(nth), [nth] { fake::failAllocation(nth); });
  }
}

}  // namespace
}  // namespace quavr::test
