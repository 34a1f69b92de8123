// The loaded songs. A handle the registry does not know is never resolved.
#pragma once

#include "interface/registry.h"
#include "platform/platform.h"

namespace quavr {

struct LoadedSong {};

Registry<LoadedSong>& loadedSongs();

// Runs fn() while `song` cannot be deleted; false when it names no loaded song.
template <class Fn>
bool withLoadedSong(platform::HGLOBAL song, Fn&& fn) {
  return loadedSongs().visit(song, [&](LoadedSong&) {
    fn();
    return false;
  });
}

}  // namespace quavr
