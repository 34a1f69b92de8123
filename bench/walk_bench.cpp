// What a host's walk of a song's events costs: every event through bgmGetSongEvents, 4096 at a
// time, against the load bench's floor, reading the file and a bare walk of its events, in one
// process and alternating. "first" is a loaded song's first walk, which builds the order (the load
// itself is not timed); "again" walks the same song once more.
// Prints: walk  file  events  rounds  floor_min_s floor_median_s  first_min_s first_median_s
//         again_min_s again_median_s
// Usage: walk_bench [--rounds N] SONG
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "bench/smf_walk.h"
#include "include/quavr.h"

namespace {

// The thread's processor time in seconds: on a machine others share, what the walk itself costs.
double now() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The floor engine's work: the file read into a buffer made before, then its events walked.
double floorOnce(const std::string& path, std::vector<std::uint8_t>& buffer) {
  const double start = now();
  const int fd = open(path.c_str(), O_RDONLY);
  std::size_t got = 0;
  while (fd >= 0 && got < buffer.size()) {
    const ssize_t n = read(fd, buffer.data() + got, buffer.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (fd >= 0) close(fd);
  SmfWalk walk;
  if (got != buffer.size() || smf_walk(buffer.data(), buffer.size(), &walk) == 0 ||
      walk.events == 0) {
    std::fprintf(stderr, "walk_bench: the floor cannot walk %s\n", path.c_str());
    std::exit(1);
  }
  return now() - start;
}

// Every event of the song, 4096 at a time; the events walked.
std::uint32_t walkAll(QuavrSong song, std::vector<QuavrSongEvent>& chunk, std::uint64_t& sum) {
  std::uint32_t first = 0;
  for (std::int32_t got; (got = bgmGetSongEvents(song, first, chunk.data(), 4096)) > 0;) {
    first += static_cast<std::uint32_t>(got);
    sum += chunk[0].timeMs + chunk[static_cast<std::size_t>(got) - 1].endMs;
  }
  return first;
}

struct Samples {
  std::vector<double> s;
  double min() {
    std::sort(s.begin(), s.end());
    return s.front();
  }
  double median() {
    std::sort(s.begin(), s.end());
    return s[s.size() / 2];
  }
};

}  // namespace

int main(int argc, char** argv) {
  int rounds = 7;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      path = arg;
    }
  }
  if (path.empty()) {
    std::fprintf(stderr, "Usage: walk_bench [--rounds N] SONG\n");
    return 2;
  }
  const QuavrSong probe = bgmGetSongFile(path.c_str());
  const std::uint32_t events = bgmGetSongInfo(probe, QUAVR_INFO_EVENTS, 0);
  bgmDeleteSong(probe);
  FILE* file = std::fopen(path.c_str(), "rb");
  if (probe == 0 || file == nullptr || std::fseek(file, 0, SEEK_END) != 0) return 1;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::ftell(file)));
  std::fclose(file);
  std::vector<QuavrSongEvent> chunk(4096);
  std::uint64_t sum = 0;
  Samples floor, first, again;
  for (int round = 0; round <= rounds; ++round) {  // round 0 warms up, untimed
    const double f = floorOnce(path, buffer);
    const QuavrSong song = bgmGetSongFile(path.c_str());
    double start = now();
    const std::uint32_t walked = walkAll(song, chunk, sum);
    const double firstWalk = now() - start;
    start = now();
    walkAll(song, chunk, sum);
    const double secondWalk = now() - start;
    bgmDeleteSong(song);
    if (walked != events) {
      std::fprintf(stderr, "walk_bench: walked %u of %u events\n", walked, events);
      return 1;
    }
    if (round == 0) continue;
    floor.s.push_back(f);
    first.s.push_back(firstWalk);
    again.s.push_back(secondWalk);
  }
  std::printf("walk\t%s\t%u\t%d\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\t%.6f\n", path.c_str(), events,
              rounds, floor.min(), floor.median(), first.min(), first.median(), again.min(),
              again.median());
  static volatile std::uint64_t kept;  // what the walks read is used: no walk is left out
  kept = sum;
  return 0;
}
