// How late the ticks of a real-time play come: a dense song (an event every millisecond) plays
// on the monitor for SECONDS at a period; each tick's first logged message, against the tick's
// ideal time (play + n × period), gives its lateness. Prints p50, p99, max and the last tick's
// lateness (drift) in microseconds, and whether the timer thread ran with SCHED_FIFO.
// Usage: timing_bench PERIOD_MS SECONDS
#include <stdlib.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "include/quavr.h"
#include "platform/introspection.h"
#include "tests/smf/smf_writer.h"

using namespace quavr;

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const int period = std::atoi(argv[1]);
  const int seconds = std::atoi(argv[2]);
  const std::string dir =
      std::filesystem::temp_directory_path() / ("quavr-timing-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string log = dir + "/monitor.log";
  const std::string song = dir + "/dense.mid";
  setenv("QUAVR_MONITOR_LOG", log.c_str(), 1);

  test::TrackWriter track;  // division 500: a tick is a millisecond
  track.note(0, 0, 60, 90);
  for (int i = 1; i < seconds * 1000; ++i)
    track.raw(1, {static_cast<std::uint8_t>(40 + i % 40), 90});
  const test::Bytes bytes = test::smf(500, {track.end()});
  std::ofstream(song, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));

  const auto monitor = static_cast<std::uint32_t>(platform::posix::deviceNames().size() - 1);
  const QuavrSong handle = bgmGetSongFile(song.c_str());
  const std::int64_t beforeOpen = platform::posix::nowNs();
  const QuavrDevice device = bgmOpenMidiDev(monitor, static_cast<std::uint32_t>(period));
  const std::int64_t afterOpen = platform::posix::nowNs();
  const std::int64_t play = platform::posix::nowNs();
  bgmPlay(device, handle);
  while (bgmBgmStatus(device) != Idle) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  const bool realtime = platform::posix::timerRealtime();
  bgmCloseMidiDev(device);
  bgmDeleteSong(handle);

  // The monitor's times count from its open, which lies between beforeOpen and afterOpen.
  const double openMs = static_cast<double>((beforeOpen + afterOpen) / 2 - play) / 1e6;
  std::map<long, double> firstLine;  // tick number -> its first message's time, ms since play
  std::ifstream in(log);
  for (std::string line; std::getline(in, line);) {
    if (line.find(" short ") == std::string::npos) continue;
    const double ms = std::stod(line) + openMs;
    const long tick = std::lround(ms / period);  // tick n is due at n × period
    firstLine.emplace(tick, ms);
  }
  std::vector<double> lateness;
  for (const auto& [tick, ms] : firstLine) lateness.push_back((ms - tick * period) * 1000.0);
  const double last = lateness.empty() ? 0 : lateness.back();
  std::sort(lateness.begin(), lateness.end());
  auto at = [&](double q) { return lateness[static_cast<std::size_t>(q * (lateness.size() - 1))]; };
  std::printf("timing\t%d\t%zu\t%.1f\t%.1f\t%.1f\t%.1f\t%s\t%.1f\n", period, lateness.size(),
              at(0.5), at(0.99), lateness.back(), last, realtime ? "SCHED_FIFO" : "normal",
              (afterOpen - beforeOpen) / 1000.0);
  std::filesystem::remove_all(dir);
  return 0;
}
