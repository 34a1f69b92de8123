// How late the ticks of a real-time play come. A song with an event every millisecond plays on
// the monitor for SECONDS at a period P. The timer's tick n is due at its start + n × P, and
// tick n sends the events whose times lie in ((n - 2) × P, (n - 1) × P], so the i-th message
// logged belongs to tick ceil(i / P) + 1: each tick's first message against its own due time is
// its lateness, however late it comes. The timer's start lies within bgmPlay, and the monitor's
// time base is placed by a reset it logs within a bgmStop; both are taken at the middle of the
// call, so every figure is known to within ± half their summed durations (the last column).
// Prints: timing  P  user  LOAD  ticks  p50  p99  p99.9  max  min  >P/2  >P  last  sched  ±
// in microseconds, where user is root or user (the effective user), LOAD a label naming what ran
// beside (default "idle"), last the last tick's lateness (drift shows there) and sched whether
// the timer thread got SCHED_FIFO.
// Usage: timing_bench PERIOD_MS SECONDS [LOAD]
#include <stdlib.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "include/quavr.h"
#include "platform/platform_info.h"
#include "tests/smf/smf_writer.h"

using namespace quavr;

namespace {

constexpr std::int64_t kTightNs = 100'000;  // stop and play together, for a start well placed
constexpr int kAttempts = 50;

struct MonitorLog {
  double anchorMs = -1;       // the reset that places the time base, ms since the monitor's open
  std::vector<double> notes;  // the song's messages after it, in send order
};

// `anchor`: how many resets come before the one that places the time base.
MonitorLog readLog(const std::string& path, int anchor, std::size_t count) {
  MonitorLog log;
  std::ifstream in(path);
  int resets = 0;
  for (std::string line; log.notes.size() < count && std::getline(in, line);) {
    const std::size_t at = line.find(' ');
    if (at == std::string::npos) continue;
    const std::string_view what = std::string_view(line).substr(at + 1);
    if (what == "reset" && resets++ == anchor) log.anchorMs = std::stod(line);
    // The song's messages are note-ons on channel 1; nothing else is counted.
    if (log.anchorMs >= 0 && what.size() == 14 && what.starts_with("short ") &&
        what.ends_with("90"))
      log.notes.push_back(std::stod(line));
  }
  return log;
}

void writeFile(const std::string& path, const test::Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(argc == 2 && std::string(argv[1]) == "--help" ? stdout : stderr,
                 "Usage: timing_bench PERIOD_MS SECONDS [LOAD]\n"
                 "Plays a song with an event every millisecond on the monitor in real time and\n"
                 "prints each tick's lateness against its own due time; LOAD names what runs\n"
                 "beside it in the report (default: idle).\n");
    return argc == 2 && std::string(argv[1]) == "--help" ? 0 : 2;
  }
  const int period = std::atoi(argv[1]);
  const int seconds = std::atoi(argv[2]);
  const char* load = argc == 4 ? argv[3] : "idle";
  if (period < 1 || seconds < 1) return 2;
  // The monitor writes a line per message: in memory, so that no disk stall delays a tick.
  const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                         ? "/dev/shm"
                                         : std::filesystem::temp_directory_path();
  const std::string dir = base / ("quavr-timing-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string logPath = dir + "/monitor.log";
  const std::string song = dir + "/dense.mid";
  const std::string warmUp = dir + "/warm-up.mid";
  setenv("QUAVR_MONITOR_LOG", logPath.c_str(), 1);

  const int events = seconds * 1000;
  test::TrackWriter track;  // division 500 at the default tempo: a tick is a millisecond
  track.note(0, 0, 60, 90);
  for (int i = 1; i < events; ++i) track.raw(1, {static_cast<std::uint8_t>(40 + i % 40), 90});
  writeFile(song, test::smf(500, {track.end()}));
  writeFile(warmUp, test::smf(500, {test::TrackWriter().note(0, 1, 60, 90).end()}));

  const auto monitor = static_cast<std::uint32_t>(platform::posix::deviceNames().size() - 1);
  const QuavrSong handle = bgmGetSongFile(song.c_str());
  const QuavrSong warmUpHandle = bgmGetSongFile(warmUp.c_str());
  const QuavrDevice device = bgmOpenMidiDev(monitor, static_cast<std::uint32_t>(period));
  // A first play starts the timer thread, so the timed play is short, and its stop logs a reset
  // at a known time, which places the monitor's time base. Its song is on channel 2. A start
  // whose calls took long (the thread was preempted) is stopped and tried again.
  std::int64_t beforeStop = 0, afterStop = 0, beforePlay = 0, afterPlay = 0;
  int attempt = 0;
  for (;; ++attempt) {
    bgmPlay(device, warmUpHandle);
    beforeStop = platform::posix::nowNs();
    bgmStop(device);
    afterStop = platform::posix::nowNs();
    beforePlay = platform::posix::nowNs();
    bgmPlay(device, handle);
    afterPlay = platform::posix::nowNs();
    if ((afterStop - beforeStop) + (afterPlay - beforePlay) <= kTightNs || attempt == kAttempts)
      break;
    bgmStop(device);
  }
  while (bgmBgmStatus(device) != Idle) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const bool realtime = platform::posix::timerRealtime();
  bgmCloseMidiDev(device);
  bgmDeleteSong(handle);
  bgmDeleteSong(warmUpHandle);

  // Each attempt before the last logged two resets: its warm-up's and its own stop's.
  const MonitorLog log = readLog(logPath, 2 * attempt, static_cast<std::size_t>(events));
  std::filesystem::remove_all(dir);
  if (log.anchorMs < 0 || log.notes.size() != static_cast<std::size_t>(events)) {
    std::fprintf(stderr, "timing_bench: %zu of %d messages logged\n", log.notes.size(), events);
    return 1;
  }
  // Microseconds from the monitor's time base to the timer's start, each taken at the middle of
  // its call (the reset inside the stop, the start inside the play), and the most these two
  // estimates can be off by together.
  const double startUs =
      static_cast<double>((beforePlay + afterPlay) - (beforeStop + afterStop)) / 2e3 +
      log.anchorMs * 1000;
  const double uncertainUs =
      static_cast<double>((afterStop - beforeStop) + (afterPlay - beforePlay)) / 2e3;
  std::vector<double> lateness;  // of each tick's first message
  long lastTick = 0;
  for (std::size_t i = 0; i < log.notes.size(); ++i) {
    const long tick = (static_cast<long>(i) + period - 1) / period + 1;
    if (tick == lastTick) continue;
    lastTick = tick;
    lateness.push_back(log.notes[i] * 1000 - startUs - static_cast<double>(tick) * period * 1000);
  }
  const double last = lateness.back();
  std::sort(lateness.begin(), lateness.end());
  auto at = [&](double q) { return lateness[static_cast<std::size_t>(q * (lateness.size() - 1))]; };
  auto laterThan = [&](double us) {
    return lateness.end() - std::upper_bound(lateness.begin(), lateness.end(), us);
  };
  std::printf("timing\t%d\t%s\t%s\t%zu\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%td\t%td\t%.1f\t%s\t%.1f\n",
              period, geteuid() == 0 ? "root" : "user", load, lateness.size(), at(0.5), at(0.99),
              at(0.999), lateness.back(), lateness.front(), laterThan(period * 500.0),
              laterThan(period * 1000.0), last, realtime ? "SCHED_FIFO" : "normal", uncertainUs);
  return 0;
}
