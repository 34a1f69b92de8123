// What a seek costs the host's thread: bgmSeek to the middle and to the end of a song, the port
// silenced and the chase sent, on the fake platform's null port (the core's own cost). Beside
// the songs named, a generated one of about 1 MB of nothing but controllers, programs, bends and
// parameter data entries over 16 tracks: the chase's worst case, every event setting state.
// Prints: seek  file  bytes  target  rounds  min_us  median_us
// Usage: seek_bench [--rounds N] SONG...
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "include/quavr.h"
#include "tests/fake/fake_platform.h"
#include "tests/smf/smf_writer.h"

using namespace quavr;

namespace {

double microseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::micro>(d).count();
}

void measure(const std::string& path, std::size_t bytes, int rounds) {
  const QuavrSong song = bgmGetSongFile("song.mid");
  const QuavrDevice device = bgmOpenMidiDev(0, 10);
  if (song == 0 || device == 0 || bgmPlay(device, song) != Idle) {
    std::fprintf(stderr, "seek_bench: %s does not play\n", path.c_str());
    std::exit(1);
  }
  const std::uint32_t length = bgmGetSongLength(song);
  for (const auto& [name, target] : {std::pair{"middle", length / 2}, std::pair{"end", length}}) {
    std::vector<double> took;
    for (int i = 0; i < rounds; ++i) {
      bgmSeek(device, 0);  // from the start each time: the chase does not depend on where from
      const auto start = std::chrono::steady_clock::now();
      const std::int32_t result = bgmSeek(device, target);
      took.push_back(microseconds(std::chrono::steady_clock::now() - start));
      if (result != 0) std::exit(1);
    }
    std::sort(took.begin(), took.end());
    std::printf("seek\t%s\t%zu\t%s\t%d\t%.1f\t%.1f\n", path.c_str(), bytes, name, rounds,
                took.front(), took[took.size() / 2]);
  }
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
}

// 16 tracks of 3-byte channel messages in running status, each setting state.
std::vector<std::uint8_t> controllerSong() {
  std::vector<test::Bytes> tracks;
  for (int t = 0; t < 16; ++t) {
    test::TrackWriter w;
    const auto ch = static_cast<std::uint8_t>(t);
    for (int i = 0; i < 20000; ++i) {
      const auto v = static_cast<std::uint8_t>(i % 128);
      switch (i % 8) {
        case 0:
          w.program(1, ch, v);
          break;
        case 1:
          w.raw(1, {static_cast<std::uint8_t>(0xE0 | ch), v, v});
          break;
        case 2:
          w.raw(1, {static_cast<std::uint8_t>(0xB0 | ch), 101, 0});
          break;
        case 3:
          w.raw(0, {static_cast<std::uint8_t>(0xB0 | ch), 100, static_cast<std::uint8_t>(i % 3)});
          break;
        case 4:
          w.raw(0, {static_cast<std::uint8_t>(0xB0 | ch), 6, v});
          break;
        default:
          w.raw(1, {static_cast<std::uint8_t>(0xB0 | ch), static_cast<std::uint8_t>(i % 90), v});
      }
    }
    tracks.push_back(w.end());
  }
  return test::smf(480, tracks);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 21;
  std::vector<std::string> paths;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      paths.push_back(arg);
    }
  }
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.empty()) {
      std::fprintf(stderr, "seek_bench: cannot read %s\n", path.c_str());
      return 1;
    }
    fake::reset();
    fake::setRecording(false);
    const std::size_t size = bytes.size();
    fake::addFile("song.mid", std::move(bytes));
    measure(path, size, rounds);
  }
  fake::reset();
  fake::setRecording(false);
  std::vector<std::uint8_t> generated = controllerSong();
  const std::size_t size = generated.size();
  fake::addFile("song.mid", std::move(generated));
  measure("controllers-1MB", size, rounds);
  return 0;
}
