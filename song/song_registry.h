// The loaded songs. A handle the registry does not know is never resolved.
#pragma once

#include "base/registry.h"
#include "platform/platform.h"

namespace quavr {

struct LoadedSong {};

Registry<LoadedSong>& loadedSongs();

// A song is bound to a device from play to stop: the device keeps its record resolved, so a lock
// count on the record means bound.
inline bool songIsBound(platform::HGLOBAL song) {
  return (platform::GlobalFlags(song) & platform::GMEM_LOCKCOUNT) != 0;
}

// Runs fn() while `song` cannot be deleted; false when it names no loaded song.
template <class Fn>
bool withLoadedSong(platform::HGLOBAL song, Fn&& fn) {
  return loadedSongs().visit(song, [&](LoadedSong&) {
    fn();
    return false;
  });
}

}  // namespace quavr
