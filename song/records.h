// The records a loaded song is made of. Each lives in its own block, reached by handle.
#pragma once

#include <cstdint>

#include "base/shared_value.h"
#include "platform/platform.h"

namespace quavr {

// Event kinds: how an event's expanded bytes are sent.
inline constexpr std::uint32_t kChannelEvent = 0;
inline constexpr std::uint32_t kSysexEvent = 0xF0;
inline constexpr std::uint32_t kEscapeEvent = 0xF7;
inline constexpr std::uint32_t kMetaEvent = 0xFF;

struct Event {
  std::uint32_t tick;    // from the start of the track
  std::uint32_t timeMs;  // from the start of the song
  std::uint32_t kind;
  std::uint32_t offset;  // of the expanded bytes in the track's data block
  std::uint32_t length;  // of the expanded bytes; 4 for a channel message
};

struct Track {
  std::uint32_t dataSize;
  std::uint32_t eventCount;
  std::int32_t position;  // next event to send; -1 once the track has ended
  platform::HGLOBAL dataBlock;
  platform::HGLOBAL eventBlock;
  std::uint32_t lengthMs;
  // While loading: the chunk's first event in the image. While bound: dataBlock resolved.
  std::uint8_t* data;
  Event* events;        // eventBlock resolved while bound
  std::uint32_t flags;  // kTrack…: how the loop styles in force play it; read by the clock
};

// A track's flags under the enabled loop styles.
inline constexpr std::uint32_t kTrackSilent = 1;  // meant for another synthesizer: not sent
inline constexpr std::uint32_t kTrackEmidi = 2;   // CC112 and CC113 go out as program and CC7

inline std::uint32_t playFlags(const Track& track) {
  return load(const_cast<std::uint32_t&>(track.flags));
}

// The most loops a song keeps, and how deep they nest.
inline constexpr std::uint32_t kMaxLoops = 64;
inline constexpr std::uint32_t kMaxLoopDepth = 4;

// Two times in the song's timeline (ms after load); kNoLoop in both when there is no loop.
inline constexpr std::uint32_t kNoLoop = 0xFFFFFFFF;
struct LoopPoints {
  std::uint32_t startMs;
  std::uint32_t endMs;
};

struct Song {
  std::uint32_t format;  // QUAVR_FORMAT_
  std::uint32_t trackCount;
  std::uint32_t division;
  // Ticks per second of a format timed at a fixed rate; 0 when set-tempo events time the song.
  std::uint32_t tickRate;
  // A file of several songs plays one at a time; it keeps its bytes (sourceBlock) to build
  // another on request. One song keeps no bytes.
  std::uint32_t songCount;
  std::uint32_t songIndex;
  platform::HGLOBAL sourceBlock;
  std::uint32_t sourceSize;
  platform::HGLOBAL trackTable;
  Track* tracks;  // trackTable resolved while bound
  std::uint32_t lengthMs;
  std::uint32_t finishedTracks;
  // The title an RMID wrapper gave (its INAM text, bytes as stored); 0 when none.
  platform::HGLOBAL titleBlock;
  std::uint32_t titleSize;
  // The events any convention may read as a loop mark (LoopMark, in the clock's order), and
  // the markers (MarkerRef, in the order QUAVR_TEXT_MARKER counts them), found at load.
  platform::HGLOBAL markBlock;
  std::uint32_t markCount;
  platform::HGLOBAL markerBlock;
  std::uint32_t markerCount;
  std::uint32_t loopStyles;  // the conventions the host enabled
  LoopPoints explicitLoop;   // set by the host; kNoLoop when none
  // The loops in force (LoopEntry, by start, the outer of two at one start first), read under
  // the registry's lock; the clock compares loopVersion, which moves whenever they change,
  // without it.
  platform::HGLOBAL loopBlock;
  std::uint32_t loopCount;
  std::uint32_t loopVersion;
  // The end of an endless XMI loop, past which nothing plays: the song's length reports it
  // (0 when there is none).
  std::uint32_t endlessEndMs;
  // An Extended MIDI song's branch points (BranchPoint, as its RBRN chunk lists them); 0 when it
  // has none.
  platform::HGLOBAL branchBlock;
  std::uint32_t branchCount;
  // The events in the order a device sends them, for hosts (song_walk.h): built at the first walk;
  // 0 until then.
  platform::HGLOBAL walkBlock;
  // The tempo map the events were timed through (TempoPoint: the default at tick 0, the changes
  // by tick, an end marker), kept for the song's grid; 0 for a song timed at a fixed rate.
  platform::HGLOBAL tempoBlock;
  std::uint32_t tempoCount;
  // The meter map (MeterSegment, by tick, at least one) and the tick the last track ends at.
  platform::HGLOBAL meterBlock;
  std::uint32_t meterCount;
  std::uint32_t endTick;
};

// An Extended MIDI branch point: its id and where it is, as the byte offset into the song's
// events the file gives, and the song time there (kNoLoop when the offset is past the events).
// Kept for the branch controller (120), which does not play yet, and for a host's queued jumps.
struct BranchPoint {
  std::uint32_t id;
  std::uint32_t offset;
  std::uint32_t timeMs;
};

// A time or length as the host reads it: one saturated at 0xFFFFFFFF would read as QUAVR_NONE,
// the value of none, so it is held one below, as positions are.
inline std::uint32_t reportedMs(std::uint32_t ms) {
  return ms < 0xFFFFFFFF ? ms : 0xFFFFFFFE;
}

// The length a song reports.
inline std::uint32_t reportedLength(const Song& song) {
  const std::uint32_t cut = song.endlessEndMs;
  return reportedMs(cut != 0 && cut < song.lengthMs ? cut : song.lengthMs);
}

// A marker event: its track and its index among the track's events.
struct MarkerRef {
  std::uint32_t track;
  std::uint32_t index;
};

// A tempo change: from `tick` on, `usPerQuarter`; `usTicks` is the song time at `tick` as the
// sum of µs per quarter × ticks over the segments before it (below 2^56), exact.
struct TempoPoint {
  std::uint32_t tick;
  std::uint32_t usPerQuarter;
  std::uint64_t usTicks;
};

}  // namespace quavr
