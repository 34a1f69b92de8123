// The two walks over each track chunk: sizing, then expansion into the track's blocks.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "song/loop_marks.h"
#include "song/records.h"
#include "song/tempo_map.h"

namespace quavr {

// Sizing pass over one chunk whose events start at track.data: sets eventCount and dataSize. Events
// are counted while the chunk length lasts and each event ends before `imageEnd`; a last event that
// would run past the image is left out. Adds the chunk's set-tempo events to `changes`, if given.
std::uint32_t measureTrack(Track& track, std::uint32_t chunkLength, const std::uint8_t* imageEnd,
                           TempoChanges* changes = nullptr);

// Expansion pass over one chunk: fills the track's resolved blocks, every event timed by `clock`
// (0 without one). Returns the bytes written, which is dataSize.
std::uint32_t expandTrack(const Track& track, std::uint8_t* data, Event* events,
                          const std::uint8_t* source, const std::uint8_t* imageEnd,
                          const TrackClock* clock = nullptr);

// Gives every track its data and event blocks and expands it from its chunk's first event
// (track.data, left there by the sizing pass). When `changes` holds every tempo change, each event
// is timed as it is written and every track's and the song's lengthMs set; else the times are left
// for timeSong. Adds the events that may mark a loop to `loopMarks`, in track then event order.
// False when a block could not be made; the blocks made so far stay in the tracks for the caller
// to free.
bool expandSong(platform::HGLOBAL song, const std::uint8_t* imageEnd, const TempoChanges& changes,
                std::vector<EventRef>& loopMarks);

}  // namespace quavr
