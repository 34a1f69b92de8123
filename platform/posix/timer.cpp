// The multimedia timer on Linux: one timer thread runs every timer's callbacks against absolute
// CLOCK_MONOTONIC deadlines (tick n of a timer is due at its start + n × period, so nothing
// drifts and a late tick does not move later ones), or against a virtual clock that jumps from
// deadline to deadline when QUAVR_TIMER=virtual.
//
// Virtual time runs only while nothing waits for it: a thread calling into the timers (a kill, a
// new timer) is served before the clock moves to another deadline, and a holder (a player
// setting a song up) stops it altogether. Otherwise the timer thread, which runs ticks back to
// back, could keep the timers' lock to itself and run the clock on for seconds, ticks giving up
// because their timer is being killed, while the killer waits for that lock.
//
// A timer made from inside a callback starts at that callback's deadline, not at the moment it
// runs: a device that restarts its timer from a tick (a repeat) stays on its time grid instead of
// adding the tick's lateness. A tick more than a few periods late (the process was stopped, the
// machine suspended) fires once and its timer goes on from there: the deadlines missed meanwhile
// are skipped, not fired back to back.
//
// Killing: a kill marks the timer dead and takes it off the schedule, so no further callback of
// it starts. From the timer's own callback (the timer thread) it returns at once and the running
// callback finishes. From any other thread it waits until the callback running at that moment,
// if any, has returned. A killer that holds a lock the callback wants must therefore tell the
// callback to give up before it kills; the core does this through its device lock (a tick waits
// for that lock in short timed tries and leaves when its timer is the one being killed).
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include "platform/platform.h"
#include "platform/platform_info.h"
#include "platform/posix/linux_only.h"

namespace quavr::platform {

namespace {

constexpr UINT kPeriodMin = 1;
constexpr UINT kPeriodMax = 1000000;
constexpr std::int64_t kNsPerMs = 1000000;
// Later than this a tick counts as stalled: its missed deadlines are skipped. Never under 50 ms,
// so that at a short period the scheduler's ordinary delays are caught up, not skipped.
constexpr std::int64_t kStallPeriods = 4;
constexpr std::int64_t kStallMinNs = 50 * kNsPerMs;

std::int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

struct Timer {
  TimeProc callback;
  DWORD_PTR user;
  bool periodic;
  bool killed;
  std::int64_t start;
  std::int64_t period;
  std::uint64_t fired;
  std::int64_t deadline;
};

class TimerService {
 public:
  TimerService() {
    const char* mode = std::getenv("QUAVR_TIMER");
    virtual_ = mode != nullptr && std::strcmp(mode, "virtual") == 0;
  }

  bool isVirtual() const { return virtual_; }
  bool realtime() const { return realtime_.load(); }
  std::int64_t now() const { return virtual_ ? virtualNow_.load() : monotonicNs(); }
  void advanceVirtual(std::int64_t ns) {
    if (virtual_) virtualNow_ += ns;
  }

  void holdVirtual(bool hold) {
    std::unique_lock guard = enter();
    holds_ += hold ? 1 : -1;
  }

  void runVirtualTo(std::int64_t ns) {
    std::unique_lock guard = enter();
    runTo_ = ns;
    wake_.notify_one();
    finished_.wait(guard,
                   [&] { return running_ == 0 && (due_.empty() || due_.begin()->first > ns); });
    runTo_ = -1;
  }

  UINT create(UINT delayMs, TimeProc callback, DWORD_PTR user, bool periodic) {
    std::unique_lock guard = enter();
    if (!threadStarted_) {
      std::thread([this] { run(); }).detach();
      threadStarted_ = true;
    }
    do {
      id_ = id_ == 0xFFFFFFFFu ? 1 : id_ + 1;
    } while (timers_.contains(id_));
    const bool inCallback = std::this_thread::get_id() == thread_ && running_ != 0;
    const std::int64_t start = inCallback ? runningDeadline_ : now();
    const std::int64_t period = std::int64_t{delayMs} * kNsPerMs;
    timers_[id_] = Timer{callback, user, periodic, false, start, period, 0, start + period};
    due_.emplace(start + period, id_);
    wake_.notify_one();
    return id_;
  }

  MMRESULT kill(UINT id) {
    std::unique_lock guard = enter();
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.killed) return MMSYSERR_INVALPARAM;
    it->second.killed = true;
    due_.erase({it->second.deadline, id});
    if (running_ != id) {
      timers_.erase(it);
    } else if (std::this_thread::get_id() != thread_) {
      finished_.wait(guard, [&] { return running_ != id; });
    }  // else: killed from its own callback; the loop drops it once the callback returns
    return TIMERR_NOERROR;
  }

  MMRESULT beginPeriod(UINT period) {
    if (period < kPeriodMin || period > kPeriodMax) return TIMERR_NOCANDO;
    std::unique_lock guard = enter();
    ++periods_[period];
    return TIMERR_NOERROR;
  }

  MMRESULT endPeriod(UINT period) {
    std::unique_lock guard = enter();
    auto it = periods_.find(period);
    if (it == periods_.end()) return TIMERR_NOCANDO;
    if (--it->second == 0) periods_.erase(it);
    return TIMERR_NOERROR;
  }

 private:
  // The timers' lock for a call: counted as waiting until it has it, so that virtual time does
  // not run on meanwhile; the timer thread is told when it may go on.
  std::unique_lock<std::mutex> enter() {
    ++entering_;
    std::unique_lock guard(mutex_);
    --entering_;
    wake_.notify_one();
    return guard;
  }

  void run() {
    std::unique_lock guard(mutex_);
    thread_ = std::this_thread::get_id();
    if (!virtual_) realtime_.store(posix::raiseTimerThreadPriority());
    for (;;) {
      if (due_.empty()) {
        wake_.wait(guard);
        continue;
      }
      const auto [deadline, id] = *due_.begin();
      if (virtual_) {
        if ((holds_ != 0 && deadline > runTo_) || entering_.load() != 0) {
          wake_.wait(guard);
          continue;
        }
        if (deadline > virtualNow_.load()) virtualNow_.store(deadline);
      } else if (monotonicNs() < deadline) {
        wake_.wait_until(guard,
                         std::chrono::steady_clock::time_point(std::chrono::nanoseconds(deadline)));
        continue;
      }
      due_.erase(due_.begin());
      skipMissedDeadlines(timers_.at(id));
      const Timer timer = timers_.at(id);
      running_ = id;
      runningDeadline_ = timer.deadline;
      guard.unlock();
      timer.callback(id, 0, timer.user, 0, 0);
      guard.lock();
      running_ = 0;
      auto it = timers_.find(id);
      if (it->second.killed || !it->second.periodic) {
        timers_.erase(it);
      } else {
        Timer& t = it->second;
        t.deadline = t.start + static_cast<std::int64_t>(++t.fired + 1) * t.period;
        due_.emplace(t.deadline, id);
      }
      finished_.notify_all();
    }
  }

  // A periodic timer's tick that is due now but stalled: it counts as the tick of the last
  // deadline passed, so the next comes a period after that one.
  void skipMissedDeadlines(Timer& timer) const {
    const std::int64_t at = now();
    if (!timer.periodic ||
        at - timer.deadline <= std::max(kStallPeriods * timer.period, kStallMinNs))
      return;
    const auto passed = static_cast<std::uint64_t>((at - timer.start) / timer.period);
    timer.fired = passed - 1;
    timer.deadline = timer.start + static_cast<std::int64_t>(passed) * timer.period;
  }

  bool virtual_ = false;
  std::atomic<bool> realtime_{false};
  std::atomic<std::int64_t> virtualNow_{0};
  std::atomic<int> entering_{0};  // calls waiting for the lock
  int holds_ = 0;
  std::int64_t runTo_ = -1;  // while held, deadlines up to this one still run (runVirtualTo)
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::map<UINT, Timer> timers_;
  std::set<std::pair<std::int64_t, UINT>> due_;  // by deadline, then by id
  std::map<UINT, int> periods_;
  UINT id_ = 0;
  UINT running_ = 0;
  std::int64_t runningDeadline_ = 0;
  std::thread::id thread_;
  bool threadStarted_ = false;
};

TimerService& service() {
  static auto* timers = new TimerService;  // its thread runs until the process ends
  return *timers;
}

}  // namespace

MMRESULT timeGetDevCaps(TIMECAPS* caps, UINT capsSize) {
  if (caps == nullptr || capsSize < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  service();
  caps->wPeriodMin = kPeriodMin;
  caps->wPeriodMax = kPeriodMax;
  return TIMERR_NOERROR;
}

MMRESULT timeBeginPeriod(UINT periodMs) {
  return service().beginPeriod(periodMs);
}
MMRESULT timeEndPeriod(UINT periodMs) {
  return service().endPeriod(periodMs);
}

UINT timeSetEvent(UINT delayMs, UINT, TimeProc callback, DWORD_PTR user, UINT flags) {
  constexpr UINT kKillSynchronous = 0x100;  // our kills are always synchronous
  if (callback == nullptr || delayMs < kPeriodMin || delayMs > kPeriodMax) return 0;
  if ((flags & ~(TIME_PERIODIC | kKillSynchronous)) != 0) return 0;
  return service().create(delayMs, callback, user, (flags & TIME_PERIODIC) != 0);
}

MMRESULT timeKillEvent(UINT timerId) {
  return service().kill(timerId);
}

namespace posix {
std::int64_t nowNs() {
  return service().now();
}
bool virtualTime() {
  return service().isVirtual();
}
bool timerRealtime() {
  return service().realtime();
}
void advanceVirtualClock(std::int64_t ns) {
  service().advanceVirtual(ns);
}
void holdVirtualTime(bool hold) {
  service().holdVirtual(hold);
}
void runVirtualTimeTo(std::int64_t ns) {
  service().runVirtualTo(ns);
}
}  // namespace posix

}  // namespace quavr::platform
