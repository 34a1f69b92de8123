// Times loading songs with Quavr, its peers and the floors, all in this process and alternating:
// each round visits the files in a shuffled order and, on each file, the engines in a shuffled
// order, so every engine sees the same machine state. A visit times a batch of loads, enough to
// last --batch-ms (set by a first, untimed load); its mean is one sample. An engine that has
// spent --budget seconds on a file, or whose first load took longer, is not run on it again.
// Freeing the song is timed apart. Prints one line per file and engine:
//   KIND  engine  file  bytes  events  load_min_s  load_median_s  load_max_s  free_median_s samples
// Page faults weigh heavily in some engines' loads, and what one engine left in malloc would
// spare the next its faults, so before every visit malloc gives back all it can, and one untimed
// load settles the heap as the engine's own loads leave it ("load": malloc as it comes). With
// --kept-heap ("load-kept") malloc instead keeps whatever is freed (no trimming, no maps of its
// own), as a long-running host's heap may, so a load finds its pages there. Blocks that an
// engine maps itself come fresh either way.
// where events are those the file holds (the walk's count; for a game format, the song's once
// loaded, note-offs made of durations included). An engine not given the file, or
// that refused it, shows "skipped" or "refused" there and "-" after.
// libsmf is not given files above --smf-max-bytes (2 MB): its time grows with the square of a
// track's length. Each file is read once before any timing, for the floors.
// Usage: load_bench [--rounds N] [--batch-ms MS] [--budget S] [--smf-max-bytes B]
//                   [--engines NAME,...] [--wildmidi-config CFG] [--seed N] [--kept-heap] FILE...
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench/load_engine.h"
#include "bench/smf_walk.h"
#include "include/quavr.h"

using namespace quavr::bench;

namespace {

using Clock = std::chrono::steady_clock;

// No trimming and no maps of their own for blocks below 4 GB: freed memory stays with malloc.
constexpr const char* kKeptHeap =
    "glibc.malloc.trim_threshold=4294967296:glibc.malloc.mmap_threshold=4294967296";

struct Options {
  int rounds = 7;
  double batchSeconds = 0.002;
  double budget = 10;
  std::uintmax_t smfMaxBytes = 2'000'000;
  std::string engines = "quavr,wildmidi,fluidsynth,portsmf,libsmf,memcpy,read,read+walk";
  std::string wildMidiConfig = "/etc/timidity/freepats.cfg";
  unsigned seed = 1;
  bool keptHeap = false;
  std::vector<std::string> files;
};

// What one engine has measured on one file.
struct Pair {
  enum State { kNew, kRunning, kDone, kRefused, kSkipped } state = kNew;
  int batch = 1;
  double spent = 0;                // loading and freeing, all visits
  std::vector<double> load, free;  // per visit, the mean of its batch
};

constexpr const char* kUsage =
    "Usage: load_bench [--rounds N] [--batch-ms MS] [--budget S] [--smf-max-bytes B]\n"
    "                  [--engines NAME,...] [--wildmidi-config CFG] [--seed N] [--kept-heap] "
    "FILE...\n"
    "Times loading each FILE with Quavr, its peers and the floors; one line per file and engine.\n"
    "Engines: quavr,wildmidi,fluidsynth,portsmf,libsmf,memcpy,read,read+walk\n";

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--rounds" && hasValue) {
      o.rounds = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--batch-ms" && hasValue) {
      o.batchSeconds = std::atof(argv[++i]) / 1000;
    } else if (arg == "--budget" && hasValue) {
      o.budget = std::atof(argv[++i]);
    } else if (arg == "--smf-max-bytes" && hasValue) {
      o.smfMaxBytes = std::strtoumax(argv[++i], nullptr, 10);
    } else if (arg == "--engines" && hasValue) {
      o.engines = argv[++i];
    } else if (arg == "--wildmidi-config" && hasValue) {
      o.wildMidiConfig = argv[++i];
    } else if (arg == "--kept-heap") {
      o.keptHeap = true;
    } else if (arg == "--seed" && hasValue) {
      o.seed = static_cast<unsigned>(std::atoi(argv[++i]));
    } else if (arg == "--help" || arg == "-h") {
      std::printf("%s", kUsage);
      std::exit(0);
    } else if (arg.rfind("--", 0) == 0) {
      std::fprintf(stderr, "load_bench: unknown option %s\n%s", arg.c_str(), kUsage);
      std::exit(2);
    } else {
      o.files.push_back(arg);
    }
  }
  if (o.files.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    std::exit(2);
  }
  return o;
}

std::vector<std::unique_ptr<LoadEngine>> makeEngines(const Options& o) {
  std::vector<std::unique_ptr<LoadEngine>> engines;
  std::string list = o.engines + ",";
  for (std::size_t at; (at = list.find(',')) != std::string::npos; list.erase(0, at + 1)) {
    const std::string name = list.substr(0, at);
    const std::size_t before = engines.size();
    if (name == "quavr") engines.push_back(quavrEngine());
    if (name == "wildmidi") engines.push_back(wildMidiEngine(o.wildMidiConfig));
    if (name == "fluidsynth") engines.push_back(fluidSynthEngine());
    if (name == "portsmf") engines.push_back(portSmfEngine());
    if (name == "libsmf") engines.push_back(libSmfEngine(o.smfMaxBytes));
    if (name == "memcpy") engines.push_back(memcpyFloor());
    if (name == "read") engines.push_back(readFloor());
    if (name == "read+walk") engines.push_back(readWalkFloor());
    if (engines.size() == before) {
      std::fprintf(stderr, "load_bench: no engine named \"%s\"\n", name.c_str());
      std::exit(2);
    }
  }
  return engines;
}

struct Visit {
  double settle = 0;
  double load = 0;
  double free = 0;
  bool refused = false;
};

// `count` loads, each timed alone, and the frees that follow them; with `settle`, after one
// untimed load and free, so the engine's own heap is as its last load left it.
Visit visit(LoadEngine& engine, const SongFile& file, int count, bool settle, const Options& o) {
  Visit v;
  if (!o.keptHeap) malloc_trim(0);
  engine.enter(file);
  if (settle) {
    const auto t0 = Clock::now();
    engine.prepare();
    v.refused = !engine.load(file);
    engine.release();
    v.settle = std::chrono::duration<double>(Clock::now() - t0).count();
  }
  for (int i = 0; i < count && !v.refused; ++i) {
    engine.prepare();
    const auto t0 = Clock::now();
    v.refused = !engine.load(file);
    const auto t1 = Clock::now();
    engine.release();
    const auto t2 = Clock::now();
    v.load += std::chrono::duration<double>(t1 - t0).count();
    v.free += std::chrono::duration<double>(t2 - t1).count();
  }
  engine.leave();
  return v;
}

void record(Pair& pair, const Visit& v, int count, const Options& o) {
  pair.load.push_back(v.load / count);
  pair.free.push_back(v.free / count);
  pair.spent += v.settle + v.load + v.free;
  pair.state = pair.spent > o.budget ? Pair::kDone : Pair::kRunning;
}

void step(LoadEngine& engine, const SongFile& file, Pair& pair, const Options& o) {
  if (pair.state == Pair::kNew && file.bytes.size() > engine.maxBytes()) {
    pair.state = Pair::kSkipped;
  } else if (pair.state == Pair::kNew || pair.state == Pair::kRunning) {
    const int count = pair.state == Pair::kNew ? 1 : pair.batch;
    const Visit v = visit(engine, file, count, pair.state == Pair::kRunning, o);
    if (v.refused) {
      pair.state = Pair::kRefused;
    } else if (pair.state == Pair::kRunning || v.load + v.free > o.budget) {
      record(pair, v, count, o);  // a first load past the budget is all the engine gets
    } else {                      // the first load warms up and sets the batch
      const double once = v.load + v.free;
      pair.batch = static_cast<int>(std::clamp(std::ceil(o.batchSeconds / once), 1.0, 1000.0));
      pair.state = Pair::kRunning;
    }
  }
}

// Of sorted samples; the mean of the middle two for an even count.
double median(const std::vector<double>& s) {
  const std::size_t n = s.size();
  return n % 2 == 1 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
}

SongFile readSong(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {path, std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {})};
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = parse(argc, argv);
  // malloc reads its tunables when the process starts: set them and start again.
  if (o.keptHeap && std::getenv("QUAVR_BENCH_KEPT_HEAP") == nullptr) {
    setenv("GLIBC_TUNABLES", kKeptHeap, 1);
    setenv("QUAVR_BENCH_KEPT_HEAP", "1", 1);
    execv("/proc/self/exe", argv);
    std::perror("load_bench: execv");
    return 1;
  }
  std::vector<SongFile> files;
  std::vector<std::uint64_t> events;
  for (const std::string& path : o.files) {
    files.push_back(readSong(path));
    SmfWalk walk{0, 0};
    if (!smf_walk(files.back().bytes.data(), files.back().bytes.size(), &walk)) {
      // Not an SMF (a game format): the events of the song loaded.
      const QuavrSong song = bgmGetSongFile(path.c_str());
      walk.events = song == 0 ? 0 : bgmGetSongInfo(song, QUAVR_INFO_EVENTS, 0);
      bgmDeleteSong(song);
    }
    events.push_back(walk.events);
  }
  auto engines = makeEngines(o);
  std::vector<std::vector<Pair>> pairs(files.size(), std::vector<Pair>(engines.size()));

  std::mt19937 random(o.seed);
  std::vector<std::size_t> fileOrder(files.size());
  std::vector<std::size_t> engineOrder(engines.size());
  for (std::size_t i = 0; i < fileOrder.size(); ++i) fileOrder[i] = i;
  for (std::size_t i = 0; i < engineOrder.size(); ++i) engineOrder[i] = i;
  for (int round = 0; round <= o.rounds; ++round) {  // round 0 warms up and sets the batches
    std::shuffle(fileOrder.begin(), fileOrder.end(), random);
    for (std::size_t f : fileOrder) {
      std::shuffle(engineOrder.begin(), engineOrder.end(), random);
      for (std::size_t e : engineOrder) step(*engines[e], files[f], pairs[f][e], o);
    }
    std::fprintf(stderr, "%s", round == o.rounds ? "\n" : ".");
  }

  for (std::size_t f = 0; f < files.size(); ++f) {
    for (std::size_t e = 0; e < engines.size(); ++e) {
      Pair& pair = pairs[f][e];
      std::printf("%s\t%s\t%s\t%zu\t", o.keptHeap ? "load-kept" : "load", engines[e]->name(),
                  files[f].path.c_str(), files[f].bytes.size());
      if (pair.load.empty() || pair.state == Pair::kRefused) {
        std::printf("%s\t-\t-\t-\t-\t0\n", pair.state == Pair::kSkipped ? "skipped" : "refused");
        continue;
      }
      std::sort(pair.load.begin(), pair.load.end());
      std::sort(pair.free.begin(), pair.free.end());
      std::printf("%ju\t%.9f\t%.9f\t%.9f\t%.9f\t%zu\n", static_cast<std::uintmax_t>(events[f]),
                  pair.load.front(), median(pair.load), pair.load.back(), median(pair.free),
                  pair.load.size());
    }
  }
  return 0;
}
