// A short song repeating 100 000 times in virtual time (QUAVR_TIMER=virtual, set by the test's
// environment): the live blocks stay constant, and every pass ends exactly where it should.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "include/quavr.h"
#include "platform/platform_info.h"
#include "tests/posix/temp_dir.h"
#include "tests/smf/smf_writer.h"

namespace quavr::test {
namespace {

TEST(SoakTest, AHundredThousandPassesKeepTheirTimesAndLeakNothing) {
  ASSERT_TRUE(platform::posix::virtualTime());
  TempDir dir;
  setenv("QUAVR_MONITOR_LOG", (dir / "soak.log").c_str(), 1);
  const std::string path = dir / "song.mid";
  // Division 500: a tick is a millisecond. A note at 0, the end at 25 ms.
  const Bytes bytes = smf(500, {TrackWriter().note(0, 0, 60, 100).end(25)});
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));

  const auto monitor = static_cast<std::uint32_t>(platform::posix::deviceNames().size() - 1);
  const QuavrDevice device = bgmOpenMidiDev(monitor, 10);
  const QuavrSong song = bgmGetSongFile(path.c_str());
  bgmSetRepeat(device, 1);
  const std::size_t blocks = platform::posix::liveBlocks();
  const std::int64_t start = platform::posix::nowNs();
  bgmPlay(device, song);
  // The first pass ends in tick 4 (clock 30); each later one runs a period ahead and ends three
  // ticks after the one before.
  constexpr std::int64_t kPasses = 100000;
  constexpr std::int64_t kLastEndMs = 40 + 30 * (kPasses - 1);
  std::size_t most = blocks;
  while (platform::posix::nowNs() - start <= kLastEndMs * 1000000) {
    most = std::max(most, platform::posix::liveBlocks());
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  bgmStop(device);
  bgmCloseMidiDev(device);
  EXPECT_EQ(most, blocks) << "blocks grew while the song repeated";
  EXPECT_EQ(bgmDeleteSong(song), 0u);

  std::ifstream log(dir / "soak.log");
  std::int64_t passes = 0;
  std::int64_t expected = 40;
  for (std::string line; std::getline(log, line);) {
    if (line.find(" reset") == std::string::npos) continue;
    const std::int64_t ms = std::stoll(line);
    if (ms > kLastEndMs) break;  // the host's own stop, later on
    ASSERT_EQ(ms, expected) << "pass " << passes + 1;
    ++passes;
    expected += 30;
  }
  EXPECT_EQ(passes, kPasses);
}

}  // namespace
}  // namespace quavr::test
