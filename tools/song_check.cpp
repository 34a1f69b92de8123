#include "tools/song_check.h"

#include "song/song_view.h"

namespace quavr::tools {

bool hasMidiTracks(QuavrSong song) {
  const SongView view(song);
  return view && view.hasTrackTable() && !view.tracks().empty();
}

}  // namespace quavr::tools
