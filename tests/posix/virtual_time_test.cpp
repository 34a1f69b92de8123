// Virtual time (QUAVR_TIMER=virtual, set by the test's environment): timers fire back to back
// in deadline order and the clock jumps to each deadline.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_info.h"

namespace quavr::platform {
namespace {

struct Trace {
  std::mutex mutex;
  std::vector<std::pair<int, std::int64_t>> ticks;  // (timer tag, virtual ms)
  std::atomic<int> killed{0};
  std::int64_t start = 0;
  std::int64_t untilMs = 0;
};

struct Tagged {
  Trace* trace;
  int tag;
};

void QUAVR_CALLBACK traceTick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* tagged = reinterpret_cast<Tagged*>(user);
  Trace& trace = *tagged->trace;
  const std::int64_t ms = (posix::nowNs() - trace.start) / 1000000;
  {
    std::lock_guard guard(trace.mutex);
    trace.ticks.emplace_back(tagged->tag, ms);
  }
  if (ms >= trace.untilMs) {
    timeKillEvent(id);
    ++trace.killed;  // last touch of the trace: the test may end right after
  }
}

struct Start {
  Trace* trace;
  Tagged* three;
  Tagged* five;
};

// Virtual time stands still during a callback, so both timers created here start together.
void QUAVR_CALLBACK startTick(UINT, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* start = reinterpret_cast<Start*>(user);
  start->trace->start = posix::nowNs();
  timeSetEvent(3, 3, traceTick, reinterpret_cast<DWORD_PTR>(start->three), TIME_PERIODIC);
  timeSetEvent(5, 5, traceTick, reinterpret_cast<DWORD_PTR>(start->five), TIME_PERIODIC);
}

std::vector<std::pair<int, std::int64_t>> run(std::int64_t untilMs) {
  Trace trace;
  trace.untilMs = untilMs;
  Tagged three{&trace, 3};
  Tagged five{&trace, 5};
  Start start{&trace, &three, &five};
  timeSetEvent(1, 1, startTick, reinterpret_cast<DWORD_PTR>(&start), TIME_ONESHOT);
  while (trace.killed < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::lock_guard done(trace.mutex);
  return trace.ticks;
}

TEST(VirtualTimeTest, TicksComeInDeadlineOrderAtTheirExactTimes) {
  ASSERT_TRUE(posix::virtualTime());
  const auto ticks = run(30);
  std::vector<std::pair<int, std::int64_t>> expected;
  for (std::int64_t t = 1; t <= 30; ++t) {
    if (t % 3 == 0) expected.emplace_back(3, t);  // created first, so first on a shared deadline
    if (t % 5 == 0) expected.emplace_back(5, t);
  }
  EXPECT_EQ(ticks, expected);
}

TEST(VirtualTimeTest, RunsAreIdenticalAndFasterThanRealTime) {
  const auto wallStart = std::chrono::steady_clock::now();
  const auto first = run(100000);
  const auto second = run(100000);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first.size(), 100000u / 3 + 100000u / 5 + 1);
  EXPECT_LT(std::chrono::steady_clock::now() - wallStart, std::chrono::seconds(100))
      << "200 virtual seconds must not take real time";
}

// A timer of 10 ms whose tick number `at` moves the virtual clock on by `ms` (a stall, a late
// tick) and, with `restart`, replaces its timer by a new one as a repeat does.
struct Script {
  std::size_t at = 0;
  std::int64_t ms = 0;
  bool restart = false;
  std::size_t until = 0;
  std::int64_t start = 0;
  std::mutex mutex;
  std::vector<std::int64_t> ticks;  // virtual ms since start
  std::atomic<bool> done{false};
};

void QUAVR_CALLBACK scriptedTick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto& script = *reinterpret_cast<Script*>(user);
  std::size_t n;
  {
    std::lock_guard guard(script.mutex);
    script.ticks.push_back((posix::nowNs() - script.start) / 1000000);
    n = script.ticks.size();
  }
  if (n == script.at) {
    posix::advanceVirtualClock(script.ms * 1000000);
    if (script.restart) {
      timeKillEvent(id);
      id = timeSetEvent(10, 10, scriptedTick, user, TIME_PERIODIC);
    }
  }
  if (n >= script.until) {
    timeKillEvent(id);
    script.done = true;
  }
}

std::vector<std::int64_t> play(Script& script) {
  script.start = posix::nowNs();
  timeSetEvent(10, 10, scriptedTick, reinterpret_cast<DWORD_PTR>(&script), TIME_PERIODIC);
  while (!script.done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::lock_guard guard(script.mutex);
  return script.ticks;
}

// After a 5 s stall the missed deadlines are skipped (they used to fire back to back, all at
// 5035), and the timer goes on from the stall's end on its grid.
TEST(VirtualTimeTest, AfterAStallTheMissedTicksAreSkipped) {
  Script script;
  script.at = 3;
  script.ms = 5005;
  script.until = 7;
  EXPECT_EQ(play(script), (std::vector<std::int64_t>{10, 20, 30, 5035, 5040, 5050, 5060}));
}

// A timer replaced from a tick 3 ms late keeps the time grid (it used to tick at 33, 43, 53).
TEST(VirtualTimeTest, ATimerMadeInALateTickKeepsTheGrid) {
  Script script;
  script.at = 2;
  script.ms = 3;
  script.restart = true;
  script.until = 5;
  EXPECT_EQ(play(script), (std::vector<std::int64_t>{10, 20, 30, 40, 50}));
}

void QUAVR_CALLBACK idleTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}

// The timer thread runs ticks back to back and so holds the timers' lock nearly all the time: a
// kill from another thread used to wait for it while the clock ran on, 20 kills in 5000 for
// minutes of virtual time. A call is served first: the clock moves only the few periods the
// killer takes to reach the call. A busy machine may stop the killer before its call for long
// enough that a thousand periods go by: a few such kills in 5000 are the machine's, not the lock's.
TEST(VirtualTimeTest, ACallFromAnotherThreadIsServedBeforeTheClockRunsOn) {
  int late = 0;
  std::int64_t worst = 0;
  for (int i = 0; i < 5000; ++i) {
    const UINT id = timeSetEvent(1, 1, idleTick, 0, TIME_PERIODIC);
    std::this_thread::sleep_for(std::chrono::microseconds(20));  // let it tick on
    const std::int64_t before = posix::nowNs();
    ASSERT_EQ(timeKillEvent(id), TIMERR_NOERROR);
    const std::int64_t ran = (posix::nowNs() - before) / 1000000;
    late += ran >= 1000 ? 1 : 0;
    worst = std::max(worst, ran);
  }
  EXPECT_LE(late, 5) << "kills that let the clock run on; the worst by " << worst << " ms";
}

// While held, virtual time stands still: a timer made then does not tick, and calls made then
// all land at one time; run to a time, it ticks up to that time and stands again; released, it
// goes on.
TEST(VirtualTimeTest, HeldVirtualTimeStandsStill) {
  Script script;
  script.until = 4;
  posix::holdVirtualTime(true);
  script.start = posix::nowNs();
  timeSetEvent(10, 10, scriptedTick, reinterpret_cast<DWORD_PTR>(&script), TIME_PERIODIC);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(posix::nowNs(), script.start);
  const auto ticks = [&] {
    std::lock_guard guard(script.mutex);
    return script.ticks;
  };
  EXPECT_TRUE(ticks().empty());
  posix::runVirtualTimeTo(script.start + 20 * 1000000);
  EXPECT_EQ(ticks(), (std::vector<std::int64_t>{10, 20})) << "both ran before it returned";
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(ticks(), (std::vector<std::int64_t>{10, 20})) << "held again";
  posix::holdVirtualTime(false);
  while (!script.done) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(ticks(), (std::vector<std::int64_t>{10, 20, 30, 40}));
}

}  // namespace
}  // namespace quavr::platform
