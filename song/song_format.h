// The file formats a song loads from, each recognised by its bytes alone, never by a name. A
// format is one loader file and one line in the table of song_loading.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/platform.h"
#include "song/loop_points.h"
#include "song/meter_map.h"

namespace quavr {

// What a loader reads and where it puts what it built.
struct LoadInput {
  platform::HGLOBAL song;  // a zeroed song record
  const std::uint8_t* image;
  std::uint32_t size;
  std::uint32_t songIndex;           // of a file that holds several songs
  std::vector<EventRef>& loopMarks;  // the events that may mark a loop, in track then event order
  std::vector<MeterChange>& meters;  // the time signatures, in track then event order
};

struct SongFormat {
  bool (*recognise)(const std::uint8_t* image, std::uint32_t size);
  // Sets the song's format, tracks, times and song count. False only when a block could not be
  // made; a malformed file gives what could be read of it, or a song of no tracks.
  bool (*load)(const LoadInput& in);
};

extern const SongFormat kXmiFormat;
extern const SongFormat kMusFormat;
extern const SongFormat kHmpFormat;
extern const SongFormat kHmiFormat;

}  // namespace quavr
