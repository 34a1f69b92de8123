// Host threads calling the transport and setting loops while the real timer ticks every
// millisecond and the driver thread completes system-exclusive messages. Meant for ThreadSanitizer:
// no report, no deadlock, nothing leaked. 8 threads make 100 000 calls in all; QUAVR_STRESS_SECONDS
// makes them go on for that long instead (tests/posix/stress.sh --long).
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "include/quavr.h"
#include "platform/platform_info.h"
#include "tests/posix/temp_dir.h"
#include "tests/smf/smf_writer.h"

namespace quavr::test {
namespace {

// A short, dense song with system-exclusive messages, so that songs end and repeat often, and
// loops nested under two styles, a marker, and a track EMIDI keeps silent.
Bytes busySong(int seed) {
  std::vector<Bytes> tracks;
  for (int t = 0; t < 3; ++t) {
    TrackWriter w;
    for (int i = 0; i < 40; ++i) {
      w.note(i == 0 ? 0 : 1, static_cast<std::uint8_t>(t),
             static_cast<std::uint8_t>(40 + (i + seed) % 40), 90);
      if (i % 8 == 0) w.sysex(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
      if (t == 2 && i == 0) w.raw(0, {0xB2, 111, 127});
      if (t == 0 && i == 8)
        w.meta(0, 0x06, {'l', 'o', 'o', 'p', 'S', 't', 'a', 'r', 't', '=', '1'});
      if (t == 0 && i == 12) w.raw(0, {0xB0, 116, 2});
      if (t == 0 && i == 20) w.raw(0, {0xB0, 117, 127});
      if (t == 0 && i == 24) w.meta(0, 0x06, {'l', 'o', 'o', 'p', 'E', 'n', 'd'});
    }
    tracks.push_back(w.end(1));
  }
  return smf(500, tracks);  // a tick is a millisecond: the song lasts 40 ms
}

TEST(ThreadedPlaybackTest, HostThreadsAndTicksNeverRaceOrDeadlock) {
  TempDir dir;
  setenv("QUAVR_MONITOR_LOG", getenv("QUAVR_TEST_LOG") ? getenv("QUAVR_TEST_LOG") : "/dev/null", 1);
  const std::size_t blocksBefore = platform::posix::liveBlocks();
  std::vector<std::string> paths;
  for (int i = 0; i < 4; ++i) {
    paths.push_back(dir / ("song" + std::to_string(i) + ".mid"));
    const Bytes bytes = busySong(i);
    std::ofstream(paths.back(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  const auto monitor = static_cast<std::uint32_t>(platform::posix::deviceNames().size() - 1);
  constexpr int kSlots = 4;
  constexpr int kThreads = 8;
  constexpr int kCalls = 100000;
  const char* seconds = std::getenv("QUAVR_STRESS_SECONDS");
  const auto until = std::chrono::steady_clock::now() +
                     std::chrono::seconds(seconds == nullptr ? 0 : std::atoi(seconds));
  auto goOn = [&](int n) {
    return seconds == nullptr ? n < kCalls / kThreads : std::chrono::steady_clock::now() < until;
  };
  std::atomic<QuavrDevice> devices[kSlots];
  std::atomic<QuavrSong> songs[kSlots];
  for (int i = 0; i < kSlots; ++i) {
    devices[i] = bgmOpenMidiDev(monitor, 1);
    songs[i] = bgmGetSongFile(paths[i].c_str());
    ASSERT_NE(devices[i].load(), 0u);
    ASSERT_NE(songs[i].load(), 0u);
  }

  std::atomic<int> calls{0};
  auto host = [&, monitor](unsigned seed) {
    std::mt19937 random(seed);
    for (int n = 0; goOn(n); ++n) {
      const int slot = static_cast<int>(random() % kSlots);
      const QuavrDevice device = devices[slot];
      const QuavrSong song = songs[random() % kSlots];
      switch (random() % 10) {
        case 0:
        case 1:
          bgmPlay(device, song);
          break;
        case 2:
          bgmPause(device);
          break;
        case 3:
          bgmStop(device);
          break;
        case 4:
          bgmSetRepeat(device, static_cast<int32_t>(random() % 2));
          break;
        case 5:  // the playback controls, while ticks read and step them
          bgmBgmStatus(device);
          switch (random() % 8) {
            case 6:  // a seek's chase and positions, while a tick may be sending or jumping
              bgmSeek(device, random() % 60);
              break;
            case 0:
              bgmSetLoopCount(device, static_cast<int32_t>(random() % 5) - 2);
              break;
            case 1:
              bgmSetTempo(device, 250 + random() % 3800);
              break;
            case 2:
              bgmSetVolume(device, random() % 101);
              break;
            case 3:  // a fade now or at a song time, begun by a tick
              if (random() % 2 == 0) {
                bgmFade(device, random() % 101, random() % 50, random() % 3);
              } else {
                bgmFadeAt(device, random() % 60, random() % 101, random() % 50, random() % 3);
              }
              break;
            case 4:
              bgmSetChannelMask(device, random() % 0x10000);
              break;
            case 5:
              bgmGetPlayInfo(device, random() % 7);
              break;
            default:
              bgmGetPosition(device);
              break;
          }
          break;
        case 6:  // a song's loops set and read while a device may be jumping on them
          if (random() % 3 == 0) {
            bgmSetLoopStyle(song, random() % 128);
            bgmGetSongInfo(song, QUAVR_INFO_LOOP_COUNT, random() % 3);
          } else if (random() % 2 == 0) {
            bgmSetLoopPoints(song, random() % 20, 20 + random() % 25);
          } else {
            bgmSetLoopPoints(song, QUAVR_NONE, QUAVR_NONE);
            bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, 0);
          }
          bgmGetSongLength(song);
          break;
        case 7: {  // close and reopen: other threads may still hold the old handle
          QuavrDevice expected = device;
          const QuavrDevice fresh = bgmOpenMidiDev(monitor, 1);
          if (devices[slot].compare_exchange_strong(expected, fresh)) {
            bgmCloseMidiDev(device);
          } else {
            bgmCloseMidiDev(fresh);
          }
          break;
        }
        case 8: {  // delete and reload: refused while a device plays it
          const int s = static_cast<int>(random() % kSlots);
          QuavrSong old = songs[s];
          if (bgmDeleteSong(old) == 0) {
            songs[s] = bgmGetSongFile(paths[static_cast<std::size_t>(s)].c_str());
          }
          break;
        }
        default:
          std::this_thread::sleep_for(std::chrono::microseconds(random() % 2000));
          break;
      }
      ++calls;
    }
  };
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < kThreads; ++t) threads.emplace_back(host, 1234 + t);
  for (auto& thread : threads) thread.join();
  if (seconds == nullptr) {
    EXPECT_EQ(calls.load(), kCalls);
  }
  std::printf("%d calls from %d threads\n", calls.load(), kThreads);

  for (auto& device : devices) EXPECT_EQ(bgmCloseMidiDev(device), 0u);
  for (auto& song : songs) EXPECT_EQ(bgmDeleteSong(song), 0u);
  EXPECT_EQ(platform::posix::liveBlocks(), blocksBefore) << "blocks leaked";
}

}  // namespace
}  // namespace quavr::test
