// What the Linux platform tells its tools, tests and benchmarks beyond the seam platform.h: the
// devices' names, the timer's clock, the count of live blocks. The core never includes it. Its
// functions live where the facts are: memory.cpp, timer.cpp (posix/) and devices.cpp,
// output_errors.cpp (midi/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quavr::platform::posix {

// Blocks allocated and not yet freed, process-wide.
std::size_t liveBlocks();

// Nanoseconds on the timer clock: CLOCK_MONOTONIC, or the virtual clock when QUAVR_TIMER=virtual
// was set before the first timer call.
std::int64_t nowNs();
bool virtualTime();
// Virtual time only: moves the clock on by `ns`, as a stall or a slow callback would.
void advanceVirtualClock(std::int64_t ns);
// Virtual time only: while held (each hold released once), the clock reaches no deadline, so a
// host's calls in between all land at one virtual time; a callback running at the hold ends.
void holdVirtualTime(bool hold);
// Virtual time only, while held: runs the clock through every deadline up to `ns` (the callbacks
// due then, one after another), and returns once they have run, the clock held again. A host
// acts "after the first tick" with it, at one virtual time in every run.
void runVirtualTimeTo(std::int64_t ns);
// Whether the timer thread runs with SCHED_FIFO.
bool timerRealtime();

// The output devices in device-number order.
std::vector<std::string> deviceNames();
// The devices left out of that list, each with why ("Quavr Synth: not listed: /x is not a
// soundfont").
std::vector<std::string> unlistedDevices();

// The first error an output device met opening or writing its file (the monitor's log, the
// synthesizer's audio file): the file and its errno; error 0 when there was none. A device that
// meets one also returns an error result to the core.
struct OutputError {
  std::string path;
  int error = 0;
};
OutputError firstOutputError();

}  // namespace quavr::platform::posix
