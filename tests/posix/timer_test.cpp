// The real-time timer thread. Assertions are about order and exclusion, never tight timing.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/platform_info.h"

namespace quavr::platform {
namespace {

using namespace std::chrono_literals;

// Waits (bounded) until `done` holds.
template <class Predicate>
bool eventually(Predicate done, std::chrono::milliseconds limit = 5s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

struct Probe {
  std::atomic<int> calls{0};
  std::atomic<bool> inside{false};
  std::atomic<bool> overlapped{false};
  std::atomic<UINT> killResult{12345};
  std::atomic<int> killAt{0};
  std::atomic<int> sleepMs{0};
  std::atomic<std::int64_t> lastNs{0};
  std::atomic<bool> backwards{false};
};

void QUAVR_CALLBACK probeTick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* probe = reinterpret_cast<Probe*>(user);
  if (probe->inside.exchange(true)) probe->overlapped = true;
  const std::int64_t now = posix::nowNs();
  if (now < probe->lastNs.exchange(now)) probe->backwards = true;
  const int n = ++probe->calls;
  if (probe->sleepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(probe->sleepMs));
  if (n == probe->killAt) probe->killResult = timeKillEvent(id);
  probe->inside = false;
}

TEST(TimerTest, CapsAndPeriodsAreBoundedAndCounted) {
  TIMECAPS caps{};
  ASSERT_EQ(timeGetDevCaps(&caps, sizeof caps), TIMERR_NOERROR);
  EXPECT_EQ(caps.wPeriodMin, 1u);
  EXPECT_EQ(caps.wPeriodMax, 1000000u);
  EXPECT_EQ(timeGetDevCaps(nullptr, sizeof caps), TIMERR_NOCANDO);
  EXPECT_EQ(timeBeginPeriod(0), TIMERR_NOCANDO);
  EXPECT_EQ(timeBeginPeriod(1000001), TIMERR_NOCANDO);
  EXPECT_EQ(timeEndPeriod(7), TIMERR_NOCANDO) << "nothing begun";
  EXPECT_EQ(timeBeginPeriod(7), TIMERR_NOERROR);
  EXPECT_EQ(timeBeginPeriod(7), TIMERR_NOERROR);
  EXPECT_EQ(timeEndPeriod(7), TIMERR_NOERROR);
  EXPECT_EQ(timeEndPeriod(7), TIMERR_NOERROR);
  EXPECT_EQ(timeEndPeriod(7), TIMERR_NOCANDO);
  EXPECT_EQ(timeSetEvent(0, 0, probeTick, 0, TIME_PERIODIC), 0u);
  EXPECT_EQ(timeSetEvent(5, 5, nullptr, 0, TIME_PERIODIC), 0u);
  EXPECT_EQ(timeSetEvent(5, 5, probeTick, 0, 0x10), 0u) << "only function callbacks";
}

TEST(TimerTest, PeriodicTicksComeInOrderWithoutOverlap) {
  Probe probe;
  const auto start = posix::nowNs();
  const UINT id = timeSetEvent(2, 2, probeTick, reinterpret_cast<DWORD_PTR>(&probe), TIME_PERIODIC);
  ASSERT_NE(id, 0u);
  ASSERT_TRUE(eventually([&] { return probe.calls >= 20; }));
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  EXPECT_FALSE(probe.overlapped);
  EXPECT_FALSE(probe.backwards);
  // Tick n is due at start + n periods: 20 ticks cannot have come before 40 ms.
  EXPECT_GE(probe.lastNs.load() - start, 20 * 2'000'000 - 2'000'000);
  EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM) << "a second kill";
}

TEST(TimerTest, KillFromItsOwnCallbackLetsTheTickFinishAndStopsTheTimer) {
  Probe probe;
  probe.killAt = 3;
  const UINT id = timeSetEvent(1, 1, probeTick, reinterpret_cast<DWORD_PTR>(&probe), TIME_PERIODIC);
  ASSERT_TRUE(eventually([&] { return probe.killResult != 12345u && !probe.inside; }));
  EXPECT_EQ(probe.killResult.load(), TIMERR_NOERROR);
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(probe.calls.load(), 3) << "a tick came after the kill";
  EXPECT_EQ(timeKillEvent(id), MMSYSERR_INVALPARAM);
}

TEST(TimerTest, KillFromAnotherThreadWaitsForTheRunningTick) {
  Probe probe;
  probe.sleepMs = 30;
  const UINT id = timeSetEvent(1, 1, probeTick, reinterpret_cast<DWORD_PTR>(&probe), TIME_PERIODIC);
  ASSERT_TRUE(eventually([&] { return probe.inside.load(); }));
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  EXPECT_FALSE(probe.inside) << "kill returned while the callback still ran";
  const int calls = probe.calls;
  std::this_thread::sleep_for(40ms);
  EXPECT_EQ(probe.calls.load(), calls) << "a tick came after the kill";
}

struct Relay {
  std::atomic<UINT> successor{0};
  Probe next;
};

void QUAVR_CALLBACK relayTick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* relay = reinterpret_cast<Relay*>(user);
  timeKillEvent(id);
  relay->successor =
      timeSetEvent(1, 1, probeTick, reinterpret_cast<DWORD_PTR>(&relay->next), TIME_PERIODIC);
}

TEST(TimerTest, ACallbackCanReplaceItsTimer) {
  Relay relay;
  timeSetEvent(1, 1, relayTick, reinterpret_cast<DWORD_PTR>(&relay), TIME_PERIODIC);
  ASSERT_TRUE(eventually([&] { return relay.next.calls >= 3; }));
  EXPECT_NE(relay.successor.load(), 0u);
  EXPECT_EQ(timeKillEvent(relay.successor), TIMERR_NOERROR);
}

// The pattern that keeps a killer holding a lock from deadlocking with the tick that wants it:
// the tick tries the lock in a polling loop and leaves once its timer is the one being killed.
struct Guarded {
  std::mutex lock;
  std::atomic<UINT> beingKilled{0};
  std::atomic<int> gaveUp{0};
  std::atomic<int> waiting{0};
};

void QUAVR_CALLBACK guardedTick(UINT id, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
  auto* g = reinterpret_cast<Guarded*>(user);
  ++g->waiting;
  while (!g->lock.try_lock()) {
    if (g->beingKilled == id) {
      ++g->gaveUp;
      return;
    }
    std::this_thread::sleep_for(20us);
  }
  g->lock.unlock();
}

TEST(TimerTest, KillingUnderALockTheTickWantsDoesNotDeadlock) {
  Guarded g;
  std::unique_lock held(g.lock);
  const UINT id = timeSetEvent(1, 1, guardedTick, reinterpret_cast<DWORD_PTR>(&g), TIME_PERIODIC);
  ASSERT_TRUE(eventually([&] { return g.waiting > 0; }));
  g.beingKilled = id;
  EXPECT_EQ(timeKillEvent(id), TIMERR_NOERROR);
  // A tick that gave up before the kill took the timer off may be followed by one more that
  // does the same (its deadline has passed long ago): the point is that none deadlocks.
  EXPECT_GE(g.gaveUp.load(), 1);
}

TEST(TimerTest, OneShotFiresOnce) {
  Probe probe;
  timeSetEvent(1, 1, probeTick, reinterpret_cast<DWORD_PTR>(&probe), TIME_ONESHOT);
  ASSERT_TRUE(eventually([&] { return probe.calls == 1; }));
  std::this_thread::sleep_for(10ms);
  EXPECT_EQ(probe.calls.load(), 1);
}

}  // namespace
}  // namespace quavr::platform
