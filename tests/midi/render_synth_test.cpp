// Render devices with the real synthesizer: the host's buffer sizes change nothing in the audio,
// the onsets fall where the frames say (on FluidSynth's 64-frame grid), and a soundfont that is
// not one is refused with its reason.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "include/quavr.h"
#include "tests/smf/smf_writer.h"

namespace quavr::test {
namespace {

// A dense song of random notes, controllers and bends on all 16 channels, `seconds` long at
// division 500 (a tick is a millisecond): voices start and end in every few blocks.
constexpr std::uint8_t kControllers[] = {1, 7, 10, 11, 64, 91, 93};

Bytes randomSong(std::uint32_t seed, std::uint32_t seconds) {
  std::mt19937 random(seed);
  auto below = [&](std::uint32_t n) { return static_cast<std::uint8_t>(random() % n); };
  std::vector<Bytes> tracks;
  for (std::uint8_t channel = 0; channel < 16; ++channel) {
    TrackWriter t;
    t.program(0, channel, below(128));
    for (std::uint32_t at = 0, delta = 0; at < seconds * 1000; at += delta = random() % 300) {
      const auto key = static_cast<std::uint8_t>(36 + below(60));
      const std::uint8_t kind = below(8);
      if (kind < 2) {  // a controller or a bend
        const std::uint8_t first = kind == 0 ? kControllers[below(7)] : below(128);
        t.raw(delta,
              {static_cast<std::uint8_t>((kind == 0 ? 0xB0 : 0xE0) | channel), first, below(128)});
      } else {
        t.note(delta, channel, key, static_cast<std::uint8_t>(1 + below(127)))
            .note(1 + random() % 400, channel, key, 0);
      }
    }
    tracks.push_back(t.end());
  }
  return smf(500, tracks);
}

// Renders the song in calls of the sizes `nextSize` gives, F32.
template <class Sizes>
std::vector<float> renderSong(const Bytes& file, std::uint32_t frames, Sizes&& nextSize) {
  const QuavrDevice device = bgmOpenRenderDev(44100, nullptr);
  EXPECT_NE(device, 0u);
  const QuavrSong song = bgmGetSongMem(file.data(), static_cast<std::uint32_t>(file.size()));
  bgmSetTempo(device, 1100);
  bgmPlay(device, song);
  std::vector<float> audio(2 * std::size_t{frames});
  for (std::uint32_t at = 0; at < frames;) {
    const std::uint32_t n = std::min(nextSize(), frames - at);
    EXPECT_GE(bgmRender(device, audio.data() + 2 * std::size_t{at}, n, QUAVR_RENDER_F32), 0);
    at += n;
  }
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
  return audio;
}

// FluidSynth drops the voices that end in a render at its end: were a call's blocks rendered
// together, the rest would be summed in an order that depends on the call's size (a last bit off).
TEST(RenderSynth, TheHostsBufferSizesChangeNothing) {
  const Bytes file = randomSong(19, 6);
  constexpr std::uint32_t kFrames = 44100 * 6;
  const auto whole = renderSong(file, kFrames, [] { return kFrames; });
  std::mt19937 random(3);
  const auto random_sizes =
      renderSong(file, kFrames, [&] { return 1 + static_cast<std::uint32_t>(random() % 1500); });
  const auto single = renderSong(file, kFrames, [] { return 1u; });
  float peak = 0;
  for (const float v : whole) peak = std::max(peak, std::fabs(v));
  EXPECT_GT(peak, 0.01f) << "audible";
  EXPECT_EQ(std::memcmp(whole.data(), random_sizes.data(), whole.size() * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(whole.data(), single.data(), whole.size() * sizeof(float)), 0);
}

// A note at song time t starts sounding on the first 64-frame block at or after ⌊t × rate / 1000⌋.
TEST(RenderSynth, ANoteSoundsOnTheGridBlockOfItsFrame) {
  for (const std::uint32_t ms : {0u, 10u, 333u}) {
    TrackWriter t;
    t.note(ms, 9, 38, 127).note(200, 9, 38, 0);
    const Bytes file = smf(500, {t.end()});
    const QuavrDevice device = bgmOpenRenderDev(48000, nullptr);
    const QuavrSong song = bgmGetSongMem(file.data(), static_cast<std::uint32_t>(file.size()));
    bgmPlay(device, song);
    std::vector<float> audio(2 * 48000);
    bgmRender(device, audio.data(), 48000, QUAVR_RENDER_F32);
    std::size_t first = 0;
    while (first < 48000 && std::fabs(audio[2 * first]) < 1e-4f) ++first;
    const std::size_t frame = ms * 48;
    EXPECT_EQ(first / 64, (frame + 63) / 64)
        << "note at " << ms << " ms sounds from frame " << first;
    bgmCloseMidiDev(device);
    bgmDeleteSong(song);
  }
}

TEST(RenderSynth, ASoundfontThatIsNotOneIsRefusedWithItsReason) {
  char text[256];
  EXPECT_EQ(bgmOpenRenderDev(48000, "/etc/passwd"), 0u);
  bgmGetMidiErrorText(text, sizeof text);
  EXPECT_STREQ(text, "/etc/passwd is not a soundfont");
  EXPECT_EQ(bgmOpenRenderDev(48000, "/nonexistent.sf2"), 0u);
  bgmGetMidiErrorText(text, sizeof text);
  EXPECT_STREQ(text, "/nonexistent.sf2: No such file or directory");
  // Two render synthesizers at once, each its own.
  const QuavrDevice a = bgmOpenRenderDev(22050, nullptr);
  const QuavrDevice b = bgmOpenRenderDev(96000, nullptr);
  EXPECT_NE(a, 0u);
  EXPECT_NE(b, 0u);
  bgmCloseMidiDev(a);
  bgmCloseMidiDev(b);
}

}  // namespace
}  // namespace quavr::test
