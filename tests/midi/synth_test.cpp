// Quavr Synth rendering a song offline (QUAVR_TIMER=virtual, set by the test's environment).
#include <gtest/gtest.h>
#include <sndfile.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "include/quavr.h"
#include "platform/platform_info.h"
#include "tests/posix/temp_dir.h"
#include "tests/smf/smf_writer.h"

namespace quavr::test {
namespace {

constexpr int kRate = 48000;
constexpr int kPerMs = kRate / 1000;

// Plays `song` on the synth, rendering into `wav`; returns the left channel.
std::vector<float> render(const std::string& songPath, const std::string& wav,
                          std::uint32_t period) {
  setenv("QUAVR_WAV", wav.c_str(), 1);
  const QuavrDevice device = bgmOpenMidiDev(0, period);
  EXPECT_NE(device, 0u) << uMidiStatus;
  const QuavrSong song = bgmGetSongFile(songPath.c_str());
  bgmPlay(device, song);
  while (bgmBgmStatus(device) != Idle) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
  // Read back through libsndfile: the header's layout is the writer's business.
  SF_INFO info{};
  SNDFILE* file = sf_open(wav.c_str(), SFM_READ, &info);
  EXPECT_NE(file, nullptr) << sf_strerror(nullptr);
  if (file == nullptr) return {};
  EXPECT_EQ(info.channels, 2);
  EXPECT_EQ(info.samplerate, kRate);
  std::vector<float> frames(static_cast<std::size_t>(info.frames) * 2);
  EXPECT_EQ(sf_readf_float(file, frames.data(), info.frames), info.frames);
  sf_close(file);
  std::vector<float> left;
  for (std::size_t at = 0; at < frames.size(); at += 2) left.push_back(frames[at]);
  return left;
}

double dbfs(const std::vector<float>& samples, int fromMs, int toMs) {
  double sum = 0;
  for (int i = fromMs * kPerMs; i < toMs * kPerMs; ++i) sum += double{samples[i]} * samples[i];
  const double rms = std::sqrt(sum / ((toMs - fromMs) * kPerMs));
  return rms == 0 ? -1000 : 20 * std::log10(rms);
}

TEST(SynthTest, RendersNotesWhereTheyAreAndSilenceElsewhereTheSameEachTime) {
  ASSERT_TRUE(platform::posix::virtualTime());
  ASSERT_EQ(platform::posix::deviceNames().front(), "Quavr Synth");
  TempDir dir;
  // Division 500: a tick is a millisecond. No reverb or chorus, so a released note dies away.
  const Bytes song = smf(500, {TrackWriter()
                                   .raw(0, {0xB0, 91, 0})
                                   .raw(0, {0xB0, 93, 0})
                                   .note(500, 0, 60, 100)
                                   .note(400, 0, 60, 0)
                                   .note(1600, 0, 67, 100)
                                   .note(300, 0, 67, 0)
                                   .end(1200)});
  const std::string path = dir / "song.mid";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(song.data()), static_cast<std::streamsize>(song.size()));

  const std::vector<float> first = render(path, dir / "a.wav", 10);
  ASSERT_GE(first.size(), static_cast<std::size_t>(4000 * kPerMs));
  std::size_t onset = 0;
  while (onset < first.size() && std::fabs(first[onset]) < 1e-6f) ++onset;
  EXPECT_GE(onset, 500u * kPerMs) << "nothing before the first note";
  EXPECT_LE(onset, 510u * kPerMs + kPerMs) << "the first note starts within one period";
  for (int ms = 0; ms + 50 <= 500; ms += 50) EXPECT_LT(dbfs(first, ms, ms + 50), -80) << ms;
  for (int ms = 550; ms + 50 <= 900; ms += 50) EXPECT_GT(dbfs(first, ms, ms + 50), -60) << ms;
  for (int ms = 1900; ms + 50 <= 2500; ms += 50) EXPECT_LT(dbfs(first, ms, ms + 50), -80) << ms;
  for (int ms = 2550; ms + 50 <= 2800; ms += 50) EXPECT_GT(dbfs(first, ms, ms + 50), -60) << ms;

  EXPECT_EQ(render(path, dir / "b.wav", 10), first) << "the render is the same run to run";
}

}  // namespace
}  // namespace quavr::test
