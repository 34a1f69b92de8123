// A thread renders a messages-only render device, as a host's audio callback would, while a
// second thread seeks, changes tempo, volume, fades and loops, walks the song's events, stops,
// plays another song and deletes the stopped one; two more threads walk one long song at once.
// Meant for ThreadSanitizer: no report, no deadlock, the sink's frames always within their call,
// nothing leaked.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "include/quavr.h"
#include "platform/platform_info.h"
#include "tests/smf/smf_writer.h"

namespace quavr::test {
namespace {

Bytes denseSong(int seed, int notes = 400) {
  TrackWriter w;
  w.sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
  for (int i = 0; i < notes; ++i) {
    w.note(1 + i % 3, static_cast<std::uint8_t>(i % 16),
           static_cast<std::uint8_t>(40 + (i + seed) % 40), 90);
    if (i % 50 == 0) w.tempo(0, 300000 + 1000 * static_cast<std::uint32_t>(seed));
  }
  return smf(500, {w.end(1)});
}

struct Sink {
  std::uint32_t frames = 0;  // of the running call
  std::uint64_t messages = 0;
  std::uint64_t outside = 0;  // frames past the call's end: never
};

void QUAVR_CALL check(void* user, std::uint32_t frame, const std::uint8_t*, std::uint32_t length) {
  auto* sink = static_cast<Sink*>(user);
  ++sink->messages;
  if (frame >= sink->frames || length == 0) ++sink->outside;
}

TEST(ThreadedRenderTest, HostCallsWhileAThreadRendersNeverRaceOrWait) {
  const std::size_t blocksBefore = platform::posix::liveBlocks();
  const QuavrDevice device = bgmOpenRenderDev(48000, "");
  ASSERT_NE(device, 0u);
  Sink sink;
  bgmSetMessageSink(device, check, &sink);
  std::vector<Bytes> files = {denseSong(1), denseSong(2)};
  auto load = [&](int i) {
    return bgmGetSongMem(files[i].data(), static_cast<std::uint32_t>(files[i].size()));
  };
  std::atomic<QuavrSong> current{load(0)};
  bgmSetRepeat(device, 1);
  bgmPlay(device, current.load());

  std::atomic<bool> done{false};
  std::atomic<std::uint64_t> songFrames{0};
  std::atomic<int> calls{0};
  std::thread audio([&] {
    std::vector<std::int16_t> buffer(2 * 1024);
    std::mt19937 random(1);
    while (!done) {
      sink.frames = 1 + static_cast<std::uint32_t>(random() % 1024);
      const std::int32_t n = bgmRender(device, buffer.data(), sink.frames, QUAVR_RENDER_S16);
      ASSERT_GE(n, 0);
      songFrames += static_cast<std::uint64_t>(n);
      ++calls;
    }
  });
  // A long song two threads walk at once from its start, each merging its order on as it reads.
  const Bytes longSong = denseSong(3, 20000);
  const QuavrSong walked =
      bgmGetSongMem(longSong.data(), static_cast<std::uint32_t>(longSong.size()));
  auto walkAll = [&] {
    QuavrSongEvent events[64];
    std::uint32_t first = 0;
    for (std::int32_t got; (got = bgmGetSongEvents(walked, first, events, 64)) > 0;)
      first += static_cast<std::uint32_t>(got);
  };
  std::thread walkers[2] = {std::thread(walkAll), std::thread(walkAll)};
  std::mt19937 random(2);
  // Host calls go on until the audio thread has rendered a good many times among them, however
  // the machine schedules the two.
  for (int i = 0; i < 3000 || calls < 3000; ++i) {
    const std::uint32_t when =
        random() % 2 == 0 ? QUAVR_AT_BARS(2) : random() % 3;  // now, beat, bar
    switch (random() % 12) {
      case 0:
        bgmSeek(device, random() % 2000);
        break;
      case 1:
        bgmSetTempo(device, 250 + random() % 3750);
        break;
      case 2:
        bgmSetVolume(device, random() % 101);
        break;
      case 3:
        bgmFade(device, random() % 101, random() % 50, QUAVR_FADE_CONTINUE);
        break;
      case 4:
        bgmSetLoopCount(device, static_cast<std::int32_t>(random() % 3) - 1);
        break;
      case 5:
        bgmPause(device);
        break;
      case 6:
        bgmGetPosition(device);
        bgmGetPlayInfo(device, QUAVR_PLAY_EVENTS);
        bgmGetPlayInfo(device, QUAVR_PLAY_BAR_BEAT);
        break;
      case 7:  // queued actions, taking effect on the audio thread
        bgmQueueJump(device, when, random() % 2000, random() % 2);
        bgmFadeChannels(device, when, random() & 0xFFFF, random() % 101, random() % 50);
        break;
      case 8:
        bgmQueueSong(device, current.load(), when, QUAVR_NONE, random() % 2);
        if (random() % 4 == 0) bgmCancelQueued(device);
        break;
      case 9: {
        QuavrSongEvent events[64];
        const std::int32_t got = bgmGetSongEvents(current.load(), random() % 800, events, 64);
        EXPECT_TRUE(got >= 0 && got <= 64) << got;
        bgmGetSongEventData(walked, random() % 50000, nullptr, 0);
        break;
      }
      default: {
        // Another song: stop, delete the stopped one, load and play the next.
        bgmStop(device);
        EXPECT_EQ(bgmDeleteSong(current.load()), 0u);
        current = load(static_cast<int>(random() % 2));
        bgmPlay(device, current.load());
        break;
      }
    }
    if (i % 64 == 0) std::this_thread::yield();
  }
  done = true;
  audio.join();
  for (std::thread& walker : walkers) walker.join();
  EXPECT_EQ(bgmDeleteSong(walked), 0u);
  EXPECT_EQ(sink.outside, 0u);
  EXPECT_GT(sink.messages, 1000u);
  EXPECT_GT(songFrames.load(), 0u);
  bgmCloseMidiDev(device);
  EXPECT_EQ(bgmDeleteSong(current.load()), 0u);
  EXPECT_EQ(platform::posix::liveBlocks(), blocksBefore);
}

}  // namespace
}  // namespace quavr::test
