// quavr-play --next: the song queued to follow the one playing, at the --at boundary, and what
// the player tells of it (it took over, or the boundary never came).
#pragma once

#include <cstdint>

#include "include/quavr.h"
#include "tools/play_options.h"

namespace quavr::tools {

class NextSong {
 public:
  NextSong(QuavrSong song, const PlayOptions& options) : song_(song), options_(options) {}

  // Queues the song on the device, once: false, with a word on standard error, when the library
  // refuses the boundary, or once the song has taken over.
  bool queue(QuavrDevice device);
  // Follows the device's QUAVR_EVENT_ flags just read: true when the song has taken over now.
  bool follow(std::uint32_t events);

 private:
  QuavrSong song_;
  const PlayOptions& options_;
  bool queued_ = false;
  bool playing_ = false;
};

}  // namespace quavr::tools
