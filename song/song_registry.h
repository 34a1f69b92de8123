// The loaded songs. A handle the registry does not know is never resolved.
#pragma once

#include <cstdint>

#include "base/registry.h"
#include "platform/platform.h"

namespace quavr {

struct LoadedSong {
  std::uint32_t readers = 0;  // threads reading the song outside any lock (a seek, a loop change)
};

Registry<LoadedSong>& loadedSongs();

// A song is bound to a device from play to stop: the device keeps its record resolved, so a lock
// count on the record means bound.
inline bool songIsBound(platform::HGLOBAL song) {
  return (platform::GlobalFlags(song) & platform::GMEM_LOCKCOUNT) != 0;
}

// Keeps a loaded song from being deleted while a thread reads it without holding it bound (a
// seek walks it before it takes the device's lock). False when it names no loaded song.
inline bool pinSong(platform::HGLOBAL song) {
  return loadedSongs().visit(song, [](LoadedSong& entry) {
    ++entry.readers;
    return false;
  });
}
inline void unpinSong(platform::HGLOBAL song) {
  loadedSongs().visit(song, [](LoadedSong& entry) {
    --entry.readers;
    return false;
  });
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
