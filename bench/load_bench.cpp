// Times the load of each file (read, parse, expand, time every event) with Quavr and with
// libsmf, alternating so both see the same machine state. Prints one line per file and engine:
//   engine  file  bytes  events  min_s  median_s  max_s
// Usage: load_bench [--repeat N] [--min-seconds S] [--smf-max-bytes B] FILE...
// libsmf's load time grows with the square of a track's length (a 10 MB file takes it about two
// minutes), so it is left out of files above B bytes (default 2 MB); its line then reads "-".
#include <glib.h>  // before smf.h, which would include it inside extern "C"
#include <smf.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "base/block.h"
#include "include/quavr.h"
#include "song/records.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Result {
  std::size_t events = 0;
  std::vector<double> seconds;
};

std::size_t quavrLoad(const char* path) {
  const QuavrSong handle = bgmGetSongFile(path);
  std::size_t events = 0;
  {
    quavr::Resolved<quavr::Song> song(handle);
    quavr::Resolved<quavr::Track> tracks(song->trackTable);
    for (std::uint32_t t = 0; t < song->trackCount; ++t) events += tracks[t].eventCount;
  }
  bgmDeleteSong(handle);
  return events;
}

// libsmf times every event while it loads; reading each event's time_seconds walks them all.
std::size_t smfLoad(const char* path) {
  smf_t* smf = smf_load(path);
  if (smf == nullptr) return 0;
  std::size_t events = 0;
  double last = 0;
  for (int t = 1; t <= smf->number_of_tracks; ++t) {
    smf_track_t* track = smf_get_track_by_number(smf, t);
    for (int e = 1; e <= track->number_of_events; ++e) {
      last = std::max(last, smf_track_get_event_by_number(track, e)->time_seconds);
      ++events;
    }
  }
  smf_delete(smf);
  return last >= 0 ? events : 0;
}

void quietGlib(const char*, GLogLevelFlags, const char*, gpointer) {}

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  double minSeconds = 0.5;
  std::uintmax_t smfMaxBytes = 2'000'000;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--smf-max-bytes") == 0 && i + 1 < argc) {
      smfMaxBytes = std::strtoumax(argv[++i], nullptr, 10);
    } else if (std::strcmp(argv[i], "--min-seconds") == 0 && i + 1 < argc) {
      minSeconds = std::atof(argv[++i]);
    } else {
      files.emplace_back(argv[i]);
    }
  }
  g_log_set_default_handler(quietGlib, nullptr);  // libsmf complains about odd files
  for (const std::string& file : files) {
    const auto bytes = std::filesystem::file_size(file);
    const int engines = bytes <= smfMaxBytes ? 2 : 1;
    Result results[2];
    // Repeat until both the count and the time floor are met, so small files get a steady median.
    const auto start = Clock::now();
    for (int n = 0; n < repeat || Clock::now() - start < std::chrono::duration<double>(minSeconds);
         ++n) {
      for (int engine = 0; engine < engines; ++engine) {
        // An engine that has spent 10 s on this file already is not run again: one figure will do.
        double spent = 0;
        for (double t : results[engine].seconds) spent += t;
        if (spent > 10) continue;
        const auto t0 = Clock::now();
        const std::size_t events = engine == 0 ? quavrLoad(file.c_str()) : smfLoad(file.c_str());
        results[engine].seconds.push_back(std::chrono::duration<double>(Clock::now() - t0).count());
        results[engine].events = events;
      }
      if (n > 1000) break;
    }
    for (int engine = 0; engine < 2; ++engine) {
      auto& s = results[engine].seconds;
      if (s.empty()) {
        std::printf("libsmf\t%s\t%ju\t-\t-\t-\t-\n", file.c_str(),
                    static_cast<std::uintmax_t>(bytes));
        continue;
      }
      std::sort(s.begin(), s.end());
      std::printf("%s\t%s\t%ju\t%zu\t%.9f\t%.9f\t%.9f\n", engine == 0 ? "quavr" : "libsmf",
                  file.c_str(), static_cast<std::uintmax_t>(bytes), results[engine].events,
                  s.front(), s[s.size() / 2], s.back());
    }
    std::fflush(stdout);
  }
  return 0;
}
