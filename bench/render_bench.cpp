// Render devices, on the real platform:
// - render cost against FluidSynth's own player rendering the same song on the same soundfont and
//   rate, alternating in one process (what Quavr's sequencing adds over the synthesizer);
// - messages-only rendering (no synthesizer) of a dense song: frames per second;
// - the longest bgmRender call while another thread seeks the song in a loop, beside the longest
//   with nobody seeking: what the audio thread waits for a host call;
// - rendering with a song switch queued for every bar (the song switching to itself in place:
//   the tail cut, the state sent again) against a plain render of the same song, alternating in
//   one process, in the thread's processor time, on a device with the synthesizer (without
//   effects) and on a messages-only one.
// Prints:  render_peer  song  frames  rounds  quavr_min_ms  quavr_median_ms  peer_min_ms
// peer_median_ms
//          render_messages  song  frames  seconds  messages
//          render_wait  song  calls  seeks  max_us  p9999_us  p999_us  alone_max_us  alone_p9999_us
//                       alone_p999_us
//          render_switch  song  device  frames  switches  rounds  plain_min_ms  plain_median_ms
//                         switching_min_ms  switching_median_ms  median_ratio (of each round's
//                         two renders)
// (render_wait: 3 s of 256-frame calls on a messages-only device alone, then 3 s while seeking)
// Usage: render_bench --peer SONG... | --messages SONG | --wait SONG | --switches SONG...
#include <fluidsynth.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "include/quavr.h"

namespace {

constexpr std::uint32_t kRate = 48000;
constexpr std::uint32_t kBlock = 1024;
constexpr const char* kSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "render_bench: %s\n", why.c_str());
  std::exit(1);
}

// Quavr: a render device playing the song, `frames` rendered in host-sized blocks.
double quavrRender(const std::string& path, std::uint32_t frames) {
  const QuavrDevice device = bgmOpenRenderDev(kRate, kSoundfont);
  std::vector<float> block(2 * kBlock);
  // The load is timed too: FluidSynth's player reads the file in its first rendered block.
  const auto start = Clock::now();
  const QuavrSong song = bgmGetSongFile(path.c_str());
  if (device == 0 || song == 0) fail("Quavr cannot render " + path);
  bgmPlay(device, song);
  for (std::uint32_t at = 0; at < frames; at += kBlock) {
    bgmRender(device, block.data(), kBlock, QUAVR_RENDER_F32);
  }
  const double took = ms(Clock::now() - start);
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
  return took;
}

// FluidSynth's player on a synthesizer set up as Quavr's render synthesizer is.
double peerRender(const std::string& path, std::uint32_t frames) {
  fluid_settings_t* settings = new_fluid_settings();
  fluid_settings_setnum(settings, "synth.sample-rate", kRate);
  fluid_settings_setint(settings, "synth.cpu-cores", 1);
  fluid_settings_setint(settings, "synth.threadsafe-api", 0);
  fluid_settings_setstr(settings, "player.timing-source", "sample");
  fluid_synth_t* synth = new_fluid_synth(settings);
  if (fluid_synth_sfload(synth, kSoundfont, 1) == FLUID_FAILED) fail("no soundfont");
  fluid_player_t* player = new_fluid_player(synth);
  std::vector<float> block(2 * kBlock);
  const auto start = Clock::now();
  fluid_player_add(player, path.c_str());
  fluid_player_play(player);
  for (std::uint32_t at = 0; at < frames; at += kBlock) {
    fluid_synth_write_float(synth, kBlock, block.data(), 0, 2, block.data(), 1, 2);
  }
  const double took = ms(Clock::now() - start);
  delete_fluid_player(player);
  delete_fluid_synth(synth);
  delete_fluid_settings(settings);
  return took;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void peer(const std::string& path, int rounds) {
  const QuavrSong song = bgmGetSongFile(path.c_str());
  // The song, at most a minute of it.
  const std::uint32_t frames = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(bgmGetSongLength(song), 60000) * kRate / 1000);
  bgmDeleteSong(song);
  std::vector<double> quavr, fluid;
  quavrRender(path, kBlock * 16);  // warm: the soundfont's pages, the caches
  peerRender(path, kBlock * 16);
  for (int i = 0; i < rounds; ++i) {
    if (i % 2 == 0) {
      quavr.push_back(quavrRender(path, frames));
      fluid.push_back(peerRender(path, frames));
    } else {
      fluid.push_back(peerRender(path, frames));
      quavr.push_back(quavrRender(path, frames));
    }
  }
  std::printf("render_peer\t%s\t%u\t%d\t%.3f\t%.3f\t%.3f\t%.3f\n", path.c_str(), frames, rounds,
              *std::min_element(quavr.begin(), quavr.end()), median(quavr),
              *std::min_element(fluid.begin(), fluid.end()), median(fluid));
}

void QUAVR_CALL count(void* user, std::uint32_t, const std::uint8_t*, std::uint32_t) {
  ++*static_cast<std::uint64_t*>(user);
}

void messages(const std::string& path) {
  const QuavrDevice device = bgmOpenRenderDev(kRate, "");
  const QuavrSong song = bgmGetSongFile(path.c_str());
  if (device == 0 || song == 0) fail("cannot play " + path);
  std::uint64_t sent = 0;
  bgmSetMessageSink(device, count, &sent);
  std::uint64_t frames = 0;
  const auto start = Clock::now();
  bgmPlay(device, song);
  while (bgmBgmStatus(device) == Playing) frames += bgmRender(device, nullptr, 4 * kBlock, 0);
  const double seconds = ms(Clock::now() - start) / 1000;
  std::printf("render_messages\t%s\t%llu\t%.4f\t%llu\n", path.c_str(),
              static_cast<unsigned long long>(frames), seconds,
              static_cast<unsigned long long>(sent));
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
}

// Durations of 256-frame render calls for `seconds`, in µs, sorted.
std::vector<double> renderCalls(QuavrDevice device, double seconds) {
  std::vector<double> took;
  took.reserve(4000000);
  const auto end = Clock::now() + std::chrono::duration<double>(seconds);
  for (auto now = Clock::now(); now < end;) {
    bgmRender(device, nullptr, 256, 0);
    const auto after = Clock::now();
    took.push_back(ms(after - now) * 1000);
    now = after;
  }
  std::sort(took.begin(), took.end());
  return took;
}

void wait(const std::string& path) {
  const QuavrDevice device = bgmOpenRenderDev(kRate, "");
  const QuavrSong song = bgmGetSongFile(path.c_str());
  if (device == 0 || song == 0) fail("cannot play " + path);
  std::uint64_t sent = 0;
  bgmSetMessageSink(device, count, &sent);
  bgmSetRepeat(device, 1);
  bgmPlay(device, song);
  constexpr double kSeconds = 3;
  const auto alone = renderCalls(device, kSeconds);
  std::atomic<bool> done{false};
  std::atomic<int> seeks{0};
  const std::uint32_t length = bgmGetSongLength(song);
  std::thread seeker([&] {
    for (std::uint32_t i = 1; !done; ++i) {
      bgmSeek(device, static_cast<std::uint32_t>(std::uint64_t{length} * (i * 7919 % 1000) / 1000));
      ++seeks;
    }
  });
  const auto seeking = renderCalls(device, kSeconds);
  done = true;
  seeker.join();
  auto at = [](const std::vector<double>& v, double q) {
    return v[static_cast<std::size_t>(static_cast<double>(v.size() - 1) * q)];
  };
  std::printf("render_wait\t%s\t%zu\t%d\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\t%.1f\n", path.c_str(),
              seeking.size(), seeks.load(), seeking.back(), at(seeking, 0.9999), at(seeking, 0.999),
              alone.back(), at(alone, 0.9999), at(alone, 0.999));
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
}

// The thread's processor time in ms: on a machine others share, what the render itself costs.
double threadMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) * 1e-6;
}

// Renders `frames` of the song on a new device (`soundfont` "": messages only; else without the
// effects, whose parallel region would run on other threads), with a switch queued again for the
// next bar whenever one took effect; the thread's time in ms and the switches made.
std::pair<double, int> switchingRender(const std::string& path, const char* soundfont,
                                       std::uint32_t frames, bool switching) {
  const QuavrDevice device = bgmOpenRenderDev(kRate | QUAVR_RENDER_DRY, soundfont);
  const QuavrSong song = bgmGetSongFile(path.c_str());
  if (device == 0 || song == 0) fail("cannot render " + path);
  std::uint64_t sent = 0;
  bgmSetMessageSink(device, count, &sent);
  std::vector<float> block(2 * kBlock);
  int switches = 0;
  const double start = threadMs();
  bgmPlay(device, song);
  if (switching) bgmQueueSong(device, song, QUAVR_AT_BAR, QUAVR_NONE, QUAVR_TAIL_CUT);
  for (std::uint32_t at = 0; at < frames; at += kBlock) {
    bgmRender(device, block.data(), kBlock, QUAVR_RENDER_F32);
    if (switching && (bgmGetPlayInfo(device, QUAVR_PLAY_EVENTS) & QUAVR_EVENT_QUEUED) != 0) {
      ++switches;
      bgmQueueSong(device, song, QUAVR_AT_BAR, QUAVR_NONE, QUAVR_TAIL_CUT);
    }
  }
  const double took = threadMs() - start;
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
  return {took, switches};
}

void switches(const std::string& path, int rounds) {
  const QuavrSong song = bgmGetSongFile(path.c_str());
  const std::uint32_t frames = static_cast<std::uint32_t>(
      std::min<std::uint64_t>(bgmGetSongLength(song), 60000) * kRate / 1000);
  bgmDeleteSong(song);
  for (const auto& [name, soundfont] :
       {std::pair{"synth", kSoundfont}, std::pair{"messages", ""}}) {
    std::vector<double> plain, switching, ratios;
    int made = 0;
    switchingRender(path, soundfont, kBlock * 16, true);  // warm
    for (int i = 0; i < rounds; ++i) {
      // Alternating which goes first, so neither always follows the other.
      for (const bool on : {i % 2 == 0, i % 2 != 0}) {
        const auto [took, count] = switchingRender(path, soundfont, frames, on);
        (on ? switching : plain).push_back(took);
        if (on) made = count;
      }
      ratios.push_back(switching.back() / plain.back());  // of two renders close in time
    }
    std::printf("render_switch\t%s\t%s\t%u\t%d\t%d\t%.3f\t%.3f\t%.3f\t%.3f\t%.4f\n", path.c_str(),
                name, frames, made, rounds, *std::min_element(plain.begin(), plain.end()),
                median(plain), *std::min_element(switching.begin(), switching.end()),
                median(switching), median(ratios));
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level) {
    fluid_set_log_function(level, nullptr, nullptr);
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) {
    fail("usage: render_bench --peer SONG... | --messages SONG | --wait SONG | --switches SONG...");
  }
  int rounds = 5;
  if (args[0] == "--peer") {
    for (std::size_t i = 1; i < args.size(); ++i) peer(args[i], rounds);
  } else if (args[0] == "--messages") {
    messages(args[1]);
  } else if (args[0] == "--wait") {
    wait(args[1]);
  } else if (args[0] == "--switches") {
    for (std::size_t i = 1; i < args.size(); ++i) switches(args[i], 9);
  } else {
    fail("unknown mode " + args[0]);
  }
  return 0;
}
