#include "tools/offline_render.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>

#include <cstring>

#include "platform/midi/audio_destination.h"
#include "platform/midi/audio_file.h"
#include "tools/play_signals.h"

namespace quavr::tools {

namespace {

using namespace platform::posix;

constexpr std::uint32_t kBlock = 1024;
// After the end, the release goes on until a block is silent, for at most this long.
constexpr std::uint32_t kLongestTailMs = 3000;

struct Block {
  float frames[2 * kBlock];
  float left[kBlock];
  float right[kBlock];
  bool silent() const {
    for (const float v : frames) {
      if (std::fabs(v) > 1e-5f) return false;
    }
    return true;
  }
};

}  // namespace

int renderToFile(QuavrDevice device, const PlayOptions& options,
                 const std::function<void()>& begun) {
  const AudioDestination destination = openAudioDestination();
  const auto failed = [&](int error) {
    std::fprintf(stderr, "quavr-play: cannot write %s: %s\n", destination.path.c_str(),
                 std::strerror(error));
    return 1;
  };
  if (destination.fd < 0) return failed(destination.error);
  if (!destination.chosen) {
    std::fprintf(stderr, "Quavr Synth: rendering to %s\n", destination.path.c_str());
  }
  AudioFile file(std::make_unique<FdSink>(destination.fd), destination.path, options.rate);
  auto block = std::make_unique<Block>();
  std::uint64_t tail = 0;  // frames rendered after the end
  const std::uint64_t longestTail = std::uint64_t{options.rate} * kLongestTailMs / 1000;
  int status = 0;
  for (bool first = true; file.ok(); first = false) {
    if (endingSignal() != 0) {
      status = 128 + endingSignal();
      break;
    }
    const bool playing = bgmBgmStatus(device) != Idle;
    bgmRender(device, block->frames, kBlock, QUAVR_RENDER_F32);
    if (first) begun();
    if (!playing && (block->silent() || tail >= longestTail)) break;
    if (!playing) tail += kBlock;
    for (std::uint32_t i = 0; i < kBlock; ++i) {
      block->left[i] = block->frames[2 * i];
      block->right[i] = block->frames[2 * i + 1];
    }
    file.write(block->left, block->right, kBlock);
  }
  if (!file.close() || file.error() != 0) status = failed(file.error() != 0 ? file.error() : EIO);
  return status;
}

}  // namespace quavr::tools
