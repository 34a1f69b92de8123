// The tracks of the formats timed at a fixed tick rate (XMI, MUS, HMP, HMI). Each loader parses a
// track once into a TrackBuilder, which keeps the events in working arrays and works out the
// note-offs of notes that carry their duration; then it writes the track's blocks, exactly sized,
// with each note-off merged in its place (those of one tick before its other events), timed. The
// song gets the same records an SMF load makes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/block.h"
#include "base/block_array.h"
#include "platform/platform.h"
#include "song/loop_points.h"
#include "song/records.h"
#include "song/tempo_map.h"
#include "song/track_events.h"

namespace quavr {

// A tick after `tick` by `delta`, held at the largest tick rather than wrapping round.
inline std::uint32_t tickAfter(std::uint32_t tick, std::uint64_t delta) {
  const std::uint64_t sum = tick + delta;
  return sum > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<std::uint32_t>(sum);
}

// A part of the file: a track's events, a chunk's body.
struct ByteRange {
  const std::uint8_t* begin;
  const std::uint8_t* end;
};

// What every loader gives its track to: a channel message, an SMF-style event (sysex, escape,
// meta: the shape measureEvent gives of the bytes at `at`), a note-on with its duration, and the
// track's end.
class TrackBuilder {
 public:
  TrackBuilder() { std::fill(&latest_[0][0], &latest_[0][0] + 16 * 128, kNoNote); }

  // Room for the events of a track of `bytes` bytes, so that the arrays are seldom copied; held
  // to a few megabytes, past which a track's arrays grow as they fill.
  void expectBytes(std::size_t bytes) {
    const std::size_t events = std::min(bytes / 3 + 16, std::size_t{1} << 20);
    events_.reserve(events);
    data_.reserve(4 * events);
    noteHint_ = events * 3 / 4;  // a note-on that carries its duration takes 4 bytes or more
  }
  void channel(std::uint32_t tick, std::uint8_t status, std::uint8_t first,
               std::uint8_t second = 0) {
    if (std::uint8_t* out = add(tick, kChannelEvent, 4)) {
      out[0] = status;
      out[1] = first;
      out[2] = second;
      out[3] = 0;
    }
  }
  void smf(std::uint32_t tick, const std::uint8_t* at, const EventShape& shape) {
    if (std::uint8_t* out = add(tick, shape.kind, shape.expanded)) writeEvent(at, shape, out);
  }
  // A duration of 0 counts as 1. A note still sounding on the same channel and key ends one tick
  // before this one starts, so the newer note is never cut short by the older one's end.
  void noteOn(std::uint32_t tick, std::uint8_t channel, std::uint8_t key, std::uint8_t velocity,
              std::uint32_t duration);
  // The track ends at `tick`, or at its last note-off when that is later.
  void end(std::uint32_t tick) { endTick_ = tick; }

  // Gives `track` its blocks, its events timed at `ticksPerSecond`, and its length; adds the
  // events that may mark a loop to `loopMarks` as track `index`. False when a block could not be
  // made, or the track would not fit in the blocks' 32-bit sizes.
  bool store(Track& track, std::uint32_t ticksPerSecond, std::uint32_t index,
             std::vector<EventRef>& loopMarks);

 private:
  static constexpr std::uint32_t kNoNote = 0xFFFFFFFFu;
  struct Note {
    std::uint32_t onTick, offTick;
    std::uint32_t event;  // its note-on's, in events_
    std::uint8_t status, key;
  };

  // Room for an event of `size` bytes at `tick`; null once the track outgrows its limits.
  std::uint8_t* add(std::uint32_t tick, std::uint32_t kind, std::uint32_t size) {
    const std::size_t offset = data_.size();
    if (offset > 0xFFFFFFFFu - size || events_.size() >= 0xFFFFFFFFu) {
      tooLarge_ = true;
      return nullptr;
    }
    std::uint8_t* out = data_.extend(size);
    if (out == nullptr ||
        !events_.push_back(Event{tick, 0, kind, static_cast<std::uint32_t>(offset), size}))
      return nullptr;
    return out;
  }

  BlockArray<Event> events_;  // the track's own, untimed; offsets into data_
  BlockArray<std::uint8_t> data_;
  BlockArray<Note> notes_;
  std::uint32_t latest_[16][128];  // the latest note of each channel and key, or kNoNote
  std::size_t noteHint_ = 0;       // the notes expectBytes foresees
  std::uint32_t endTick_ = 0;
  bool tooLarge_ = false;
};

inline void TrackBuilder::noteOn(std::uint32_t tick, std::uint8_t channelNumber, std::uint8_t key,
                                 std::uint8_t velocity, std::uint32_t duration) {
  channelNumber &= 0x0F;
  key &= 0x7F;
  const auto event = static_cast<std::uint32_t>(events_.size());
  channel(tick, static_cast<std::uint8_t>(0x90 | channelNumber), key, velocity);
  if (events_.size() == event) return;  // not kept: nor is its note-off
  std::uint32_t& latest = latest_[channelNumber][key];
  if (latest != kNoNote) {
    Note& earlier = notes_[latest];
    if (earlier.offTick > tick)
      earlier.offTick = std::max(earlier.onTick, tick == 0 ? 0 : tick - 1);
  }
  if (notes_.empty()) notes_.reserve(noteHint_);
  const auto note = static_cast<std::uint32_t>(notes_.size());
  // A note that could not be kept fails the load; it must not be taken for the latest either.
  // A duration of 0 ends a tick later (8.3 ms in XMI): ended at its own tick the note would be
  // silenced before it sounded.
  if (notes_.push_back(Note{tick, tickAfter(tick, duration == 0 ? 1 : duration), event,
                            static_cast<std::uint8_t>(0x80 | channelNumber), key}))
    latest = note;
}

// The SMF event at `at` (a status byte, or data bytes under `runningStatus`), given to the sink
// as the SMF loader expands it. The bytes it took from the file; 0 when it does not end before
// `end`.
template <class Sink>
std::uint32_t smfEvent(Sink& sink, std::uint32_t tick, const std::uint8_t* at,
                       const std::uint8_t* end, std::uint8_t& runningStatus) {
  EventShape shape;
  if (!measureEvent(at, end, runningStatus, shape)) return 0;
  if (shape.kind == kChannelEvent) {
    std::uint8_t bytes[4];
    writeEvent(at, shape, bytes);
    sink.channel(tick, bytes[0], bytes[1], bytes[2]);
  } else {
    sink.smf(tick, at, shape);
  }
  return shape.taken;
}

// A note-on whose duration follows its velocity (XMI, HMI), `at` at its key; velocity 0 is a
// note-off. The bytes it took after the status; 0 when it does not end before `end`.
template <class Sink>
std::uint32_t duratedNoteOn(Sink& sink, std::uint32_t tick, std::uint8_t status,
                            const std::uint8_t* at, const std::uint8_t* end) {
  if (end - at < 2) return 0;
  const VarLen duration = readShortVarLen(at + 2, end);
  if (!duration.complete) return 0;
  if (at[1] == 0) {
    sink.channel(tick, static_cast<std::uint8_t>(0x80 | (status & 0x0F)), at[0], 0);
  } else {
    sink.noteOn(tick, status & 0x0F, at[0], at[1], duration.value);
  }
  return 2 + duration.size;
}

// The timing and format of a song of a fixed-rate format. False when the song would not resolve.
bool setFixedRate(platform::HGLOBAL song, std::uint32_t format, std::uint32_t ticksPerSecond,
                  std::uint32_t division);

// Gives the song a table of `trackCount` tracks, each built by parseTrack(t, builder), which
// calls builder.end once at the end. Every event is timed at `ticksPerSecond`; the lengths are
// set, the events that may mark a loop added to `loopMarks`. False when a block could not be made;
// those made stay for the caller.
bool makeTrackTable(platform::HGLOBAL song, std::uint32_t trackCount);
template <class ParseTrack>
bool storeTracks(platform::HGLOBAL songHandle, std::uint32_t trackCount,
                 std::uint32_t ticksPerSecond, std::vector<EventRef>& loopMarks,
                 ParseTrack&& parseTrack) {
  if (!makeTrackTable(songHandle, trackCount)) return false;
  Resolved<Song> song(songHandle);
  Resolved<Track> tracks(song->trackTable);
  if (!tracks && trackCount != 0) return false;
  for (std::uint32_t t = 0; t < trackCount; ++t) {
    TrackBuilder builder;
    parseTrack(t, builder);
    if (!builder.store(tracks[t], ticksPerSecond, t, loopMarks)) return false;
    song->lengthMs = std::max(song->lengthMs, tracks[t].lengthMs);
  }
  return true;
}

}  // namespace quavr
