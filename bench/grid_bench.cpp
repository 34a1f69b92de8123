// The song's grid of bars and beats, on the real platform:
// - finding the next bar line or beat from a song time (what a queued action does whenever the
//   position moves) in generated songs of 100, 10 000 and 1 000 000 bars, the meter and the
//   tempo changing at every bar, so that both maps a lookup searches hold a point a bar; the
//   times looked up are random, or walk forward as a playing song's do; beside it the peers, a
//   table of every bar's time (the last bar line at the song's length) searched by bisection, the
//   floor of a search, and walked from its start, what a search without the grid would cost;
// - the grid's share of a load: each song loaded, then its grid built again on the loaded song
//   (the time signatures picked out of its meta events, as the track walk does, and the meter
//   map made), alternating song by song; the sums of the medians over the songs.
// Prints:  boundary  bars  meters  tempos  random_ns  forward_ns  table_search_ns  table_walk_ns
//          grid_load  files  rounds  load_s  grid_s
// Usage: grid_bench --boundary | --load [--rounds N] SONG...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "base/block.h"
#include "include/quavr.h"
#include "song/meter_map.h"
#include "song/musical_time.h"
#include "song/records.h"
#include "tests/smf/smf_writer.h"

using namespace quavr;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "grid_bench: %s\n", why.c_str());
  std::exit(1);
}

// `bars` bars, 4/4 and 3/4 by turns at 150 and 120 a minute by turns.
test::Bytes barSong(std::uint32_t bars) {
  test::TrackWriter w;
  std::uint32_t delta = 0;
  for (std::uint32_t bar = 0; bar < bars; ++bar) {
    const std::uint8_t beats = bar % 2 == 0 ? 4 : 3;
    w.meta(delta, kMetaTimeSignature, {beats, 2, 24, 8});
    w.tempo(0, bar % 2 == 0 ? 400000 : 500000);
    delta = beats * 480u;
  }
  w.end(delta);
  return test::smf(480, {w});
}

// Best mean ns of next(t) over `times`, of five passes.
template <class Next>
double nsPerLookup(const std::vector<std::uint32_t>& times, Next&& next) {
  double best = 1e300;
  std::uint64_t sink = 0;
  for (int round = 0; round < 5; ++round) {
    const auto start = Clock::now();
    for (std::size_t i = 0; i < times.size(); ++i) sink += next(i, times[i]);
    best = std::min(best, seconds(Clock::now() - start) * 1e9 / static_cast<double>(times.size()));
  }
  if (sink == 0) fail("no boundary found");
  return best;
}

void boundary() {
  for (const std::uint32_t bars : {100u, 10000u, 1000000u}) {
    const test::Bytes file = barSong(bars);
    const QuavrSong handle = bgmGetSongMem(file.data(), static_cast<std::uint32_t>(file.size()));
    Resolved<Song> song(handle);
    if (!song || bgmGetSongInfo(handle, QUAVR_INFO_BARS, 0) != bars) fail("a bar song");
    const SongGrid grid(*song);
    const std::uint32_t length = bgmGetSongLength(handle);
    std::vector<std::uint32_t> random(1 << 20), forward(random.size()), barTimes(bars + 1);
    std::mt19937 pick(1);
    for (auto& t : random) t = static_cast<std::uint32_t>(pick() % length);
    for (std::size_t i = 0; i < forward.size(); ++i) {
      forward[i] = static_cast<std::uint32_t>(std::uint64_t{length} * i / forward.size());
    }
    for (std::uint32_t b = 0; b <= bars; ++b) barTimes[b] = grid.timeOf(GridUnit::Bar, b);
    // Bars and beats by turns.
    const auto nextAt = [&](std::size_t i, std::uint32_t t) {
      return grid.nextAt(i % 2 == 0 ? GridUnit::Bar : GridUnit::Beat, 1, t);
    };
    // The peers: a table of every bar's time, searched, and walked from its start.
    const auto searched = [&](std::size_t, std::uint32_t t) {
      return *std::lower_bound(barTimes.begin(), barTimes.end(), t);
    };
    const auto walked = [&](std::size_t, std::uint32_t t) {
      return *std::find_if(barTimes.begin(), barTimes.end(),
                           [t](std::uint32_t b) { return b >= t; });
    };
    const std::vector<std::uint32_t> few(random.begin(), random.begin() + (1 << 26) / bars);
    std::printf("boundary\t%u\t%u\t%u\t%.1f\t%.1f\t%.1f\t%.1f\n", bars, song->meterCount,
                song->tempoCount, nsPerLookup(random, nextAt), nsPerLookup(forward, nextAt),
                nsPerLookup(random, searched), nsPerLookup(few, walked));
    song.reset();
    bgmDeleteSong(handle);
  }
}

// The loaded song's meta events, as the track walk meets them: their bytes, their tick.
struct Meta {
  const std::uint8_t* at;
  const std::uint8_t* end;
  std::uint32_t tick;
};

// The grid's work on a loaded song: the time signatures picked out of its meta events, then the
// meter map made (and freed, the song's own kept).
void buildGrid(Song& song, const Track* tracks, const std::vector<Meta>& metas) {
  std::vector<MeterChange> found;
  for (const Meta& m : metas) {
    MeterChange meter;
    if (readTimeSignature(m.at, m.end, m.tick, meter)) found.push_back(meter);
  }
  const platform::HGLOBAL kept = song.meterBlock;
  const std::uint32_t keptCount = song.meterCount;
  if (!buildMeterMap(song, tracks, found)) fail("no memory");
  platform::GlobalFree(song.meterBlock);
  song.meterBlock = kept;
  song.meterCount = keptCount;
}

// Mean seconds of one run of `fn`, over a batch lasting about 2 ms.
template <class Fn>
double timeBatch(Fn&& fn) {
  int batch = 1;
  for (;;) {
    const auto start = Clock::now();
    for (int i = 0; i < batch; ++i) fn();
    const double took = seconds(Clock::now() - start);
    if (took >= 0.002) return took / batch;
    batch *= 2;
  }
}

// Mean seconds of a load of `path`, as load_bench times it (each song freed untimed), over
// loads lasting about 2 ms.
double timeLoads(const char* path) {
  double took = 0;
  for (int count = 1;; ++count) {
    const auto start = Clock::now();
    const QuavrSong song = bgmGetSongFile(path);
    took += seconds(Clock::now() - start);
    if (song == 0) fail(std::string("cannot load ") + path);
    bgmDeleteSong(song);
    if (took >= 0.002) return took / count;
  }
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void load(const std::vector<std::string>& paths, int rounds) {
  std::vector<std::vector<double>> loads(paths.size()), grids(paths.size());
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t f = 0; f < paths.size(); ++f) {
      const char* path = paths[f].c_str();
      loads[f].push_back(timeLoads(path));
      const QuavrSong handle = bgmGetSongFile(path);
      Resolved<Song> song(handle);
      Resolved<Track> tracks(song->trackTable);
      std::vector<Resolved<Event>> events;
      std::vector<Resolved<std::uint8_t>> data;
      std::vector<Meta> metas;
      for (std::uint32_t t = 0; t < song->trackCount; ++t) {
        events.emplace_back(tracks[t].eventBlock);
        data.emplace_back(tracks[t].dataBlock);
        for (std::uint32_t i = 0; i < tracks[t].eventCount; ++i) {
          const Event& e = events.back()[i];
          const std::uint8_t* at = data.back().get() + e.offset;
          if (e.kind == kMetaEvent) metas.push_back({at, at + e.length, e.tick});
        }
      }
      grids[f].push_back(timeBatch([&] { buildGrid(*song, tracks.get(), metas); }));
      events.clear();
      data.clear();
      tracks.reset();
      song.reset();
      bgmDeleteSong(handle);
    }
  }
  double load = 0, grid = 0;
  for (std::size_t f = 0; f < paths.size(); ++f) {
    load += median(loads[f]);
    grid += median(grids[f]);
  }
  std::printf("grid_load\t%zu\t%d\t%.6f\t%.6f\n", paths.size(), rounds, load, grid);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--boundary") {
    boundary();
  } else if (args.size() >= 2 && args[0] == "--load") {
    int rounds = 5;
    std::size_t first = 1;
    if (args[1] == "--rounds" && args.size() >= 3) {
      rounds = std::atoi(args[2].c_str());
      first = 3;
    }
    load({args.begin() + static_cast<std::ptrdiff_t>(first), args.end()}, std::max(rounds, 1));
  } else {
    fail("usage: grid_bench --boundary | --load [--rounds N] SONG...");
  }
  return 0;
}
