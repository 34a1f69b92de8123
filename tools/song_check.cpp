#include "tools/song_check.h"

#include <cstdint>

#include "tools/printable.h"
#include "tools/unreadable.h"

namespace quavr::tools {

bool hasMidiTracks(QuavrSong song) {
  const std::uint32_t tracks = bgmGetSongInfo(song, QUAVR_INFO_TRACKS, 0);
  return tracks != 0 && tracks != QUAVR_NONE;
}

QuavrSong loadPlayable(const std::string& path, std::string& why) {
  const QuavrSong song = bgmGetSongFile(path.c_str());
  if (song == 0) {
    why = "cannot load " + printable(path) + ": " + whyUnreadable(path);
  } else if (!hasMidiTracks(song)) {
    bgmDeleteSong(song);
    why = "not a MIDI file: " + printable(path) + " (it has no MIDI tracks)";
    return 0;
  }
  return song;
}

}  // namespace quavr::tools
