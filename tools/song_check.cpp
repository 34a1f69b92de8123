#include "tools/song_check.h"

#include <cstdint>

namespace quavr::tools {

bool hasMidiTracks(QuavrSong song) {
  const std::uint32_t tracks = bgmGetSongInfo(song, QUAVR_INFO_TRACKS, 0);
  return tracks != 0 && tracks != QUAVR_NONE;
}

}  // namespace quavr::tools
