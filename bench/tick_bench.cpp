// What one tick costs the timer thread: with nothing due, and per short message sent, for songs
// of 1, 16 and 64 tracks; per message too with a fade running, with half the channels muted, and
// with a jump queued for a far bar line (looked at every tick, never taken). The fake platform's
// port records nothing here: a null port.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "base/block.h"
#include "include/quavr.h"
#include "playback/device.h"
#include "playback/playback_clock.h"
#include "tests/fake/fake_platform.h"
#include "tests/smf/smf_writer.h"

namespace {

using namespace quavr;
using namespace quavr::test;

struct Playing {
  QuavrDevice device;
  QuavrSong song;
  platform::UINT timer;
};

// `tracks` tracks, each with an event every `spacingMs` (division 500: a tick is a millisecond),
// `events` events long; played on a device with a 10 ms period.
Playing play(int tracks, std::uint32_t firstMs, std::uint32_t spacingMs, int events) {
  fake::reset();
  fake::setRecording(false);
  std::vector<Bytes> bodies;
  for (int t = 0; t < tracks; ++t) {
    TrackWriter w;
    w.note(firstMs, static_cast<std::uint8_t>(t % 16), 60, 90);
    for (int i = 1; i < events; ++i) w.raw(spacingMs, {static_cast<std::uint8_t>(40 + i % 40), 90});
    bodies.push_back(w.end());
  }
  fake::addFile("song.mid", smf(500, bodies));
  Playing p{bgmOpenMidiDev(0, 10), bgmGetSongFile("song.mid"), 0};
  bgmPlay(p.device, p.song);
  Resolved<MidiDevice> d(p.device);
  p.timer = d->timerId;
  return p;
}

void stop(const Playing& p) {
  bgmCloseMidiDev(p.device);
  bgmDeleteSong(p.song);
}

// The device's mix while the song plays.
enum class Mix { kPlain, kFading, kMuted, kQueued };

void setMix(const Playing& p, Mix mix) {
  if (mix == Mix::kFading) bgmFade(p.device, 0, 10000, QUAVR_FADE_CONTINUE);  // a step per 100 ms
  if (mix == Mix::kMuted) bgmSetChannelMask(p.device, 0x5555);
  // Every 255th bar: bar 255, at 510 s, past the song's end.
  if (mix == Mix::kQueued && bgmQueueJump(p.device, QUAVR_AT_BARS(255), 0, QUAVR_TAIL_CUT) != 0)
    std::abort();
}

void tickWithNothingDue(benchmark::State& state, Mix mix) {
  const Playing p = play(static_cast<int>(state.range(0)), 1000000000u, 1, 1);
  setMix(p, mix);
  for (auto _ : state) clockTick(p.timer, 0, p.device, 0, 0);
  stop(p);
}

void tickPerShortMessage(benchmark::State& state, Mix mix) {
  const int tracks = static_cast<int>(state.range(0));
  constexpr int kEvents = 20000;  // one per track in each 10 ms tick
  Playing p = play(tracks, 0, 10, kEvents);
  setMix(p, mix);
  int ticks = 0;
  for (auto _ : state) {
    clockTick(p.timer, 0, p.device, 0, 0);
    if (++ticks == kEvents) {  // the song ended: start it again, untimed
      state.PauseTiming();
      bgmPlay(p.device, p.song);
      bgmSetVolume(p.device, 100);
      setMix(p, mix);
      Resolved<MidiDevice> d(p.device);
      p.timer = d->timerId;
      ticks = 0;
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations() * tracks);
  stop(p);
}

// A benchmark of its own name for each measure and mix, over 1, 16 and 64 tracks.
#define QUAVR_TICK_BENCHMARK(name, measure, mix) \
  void name(benchmark::State& state) {           \
    measure(state, Mix::mix);                    \
  }                                              \
  BENCHMARK(name)->Arg(1)->Arg(16)->Arg(64)

QUAVR_TICK_BENCHMARK(TickWithNothingDue, tickWithNothingDue, kPlain);
QUAVR_TICK_BENCHMARK(TickQueuedNothingDue, tickWithNothingDue, kQueued);
QUAVR_TICK_BENCHMARK(TickFading, tickPerShortMessage, kFading);
QUAVR_TICK_BENCHMARK(TickMuted, tickPerShortMessage, kMuted);
QUAVR_TICK_BENCHMARK(TickQueued, tickPerShortMessage, kQueued);
QUAVR_TICK_BENCHMARK(TickPerShortMessage, tickPerShortMessage, kPlain);

}  // namespace

BENCHMARK_MAIN();
