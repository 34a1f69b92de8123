#include "tools/next_song.h"

#include <cstdio>

#include "tools/printable.h"

namespace quavr::tools {

bool NextSong::queue(QuavrDevice device) {
  if (song_ == 0 || playing_ || queued_) return queued_;  // queued again would drop it
  queued_ = bgmQueueSong(device, song_, options_.when, options_.entryMs, options_.nextFlags) == 0;
  if (!queued_) {
    std::fprintf(stderr,
                 "quavr-play: --next %s: no such boundary ahead (a marker past the last?)\n",
                 printable(options_.next).c_str());
  }
  return queued_;
}

bool NextSong::follow(std::uint32_t events) {
  if (!queued_) return false;
  // One slot holds a song, so QUEUED is this song's switch and DROPPED its end unplayed.
  if ((events & QUAVR_EVENT_QUEUED) != 0) {
    queued_ = false;
    playing_ = true;
    return true;
  }
  if ((events & QUAVR_EVENT_DROPPED) != 0) {
    queued_ = false;
    std::fprintf(stderr, "quavr-play: --next %s: dropped, its boundary did not come\n",
                 printable(options_.next).c_str());
  }
  return false;
}

}  // namespace quavr::tools
