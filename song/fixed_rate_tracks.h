// The tracks of the formats timed at a fixed tick rate (XMI, MUS, HMP, HMI). Each loader parses a
// track twice into a sink, as the SMF loader walks a chunk twice: a TrackCounter sizes the track
// and works out the note-offs of notes that carry their duration, then a TrackWriter writes the
// same events into the track's blocks, timed, each note-off in its place (those of one tick before
// its other events). The song gets the same records an SMF load makes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "base/block.h"
#include "base/block_allocator.h"
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

// What every sink takes: a channel message, an SMF-style event (sysex, escape, meta: the shape
// measureEvent gives of the bytes at `at`), a note-on with its duration, and the track's end.
// Pass one.
class TrackCounter {
 public:
  TrackCounter() { std::fill(&sounding_[0][0], &sounding_[0][0] + 16 * 128, -1); }

  // Room for the notes of a track of `bytes` bytes whose note-ons take four bytes or more, so
  // that the list is not copied as it grows.
  void expectNotes(std::size_t bytes) { notes.reserve(bytes / 4 + 1); }
  void channel(std::uint32_t, std::uint8_t, std::uint8_t, std::uint8_t = 0) { add(4); }
  void smf(std::uint32_t, const std::uint8_t*, const EventShape& shape) { add(shape.expanded); }
  // A duration of 0 counts as 1. A note still sounding on the same channel and key ends one tick
  // before this one starts, so the newer note is never cut short by the older one's end.
  void noteOn(std::uint32_t tick, std::uint8_t channel, std::uint8_t key, std::uint8_t velocity,
              std::uint32_t duration);
  // Places the end of the track at `endTick`, or at the last note-off when that is later.
  void end(std::uint32_t endTick);

  std::uint64_t events = 0;  // all of them: own events, note-offs, the end
  std::uint64_t bytes = 0;
  // Each note-on with a duration, in order: its tick, the tick of its note-off, the note-off's
  // status and key.
  struct Note {
    std::uint32_t onTick, offTick;
    std::uint8_t status, key;
  };
  BlockVector<Note> notes;
  // The note-offs that do not end their note at its own tick, in the order they go: tick (high
  // 32 bits), then note number (those of one tick in the order of their notes).
  BlockVector<std::uint64_t> offOrder;
  std::uint32_t endTick = 0;

 private:
  void add(std::uint32_t size) {
    ++events;
    bytes += size;
  }
  std::int32_t sounding_[16][128];  // the latest note of each channel and key in `notes`, or -1
};

// Pass two: the same calls, on the blocks pass one sized. It never writes past them, whatever
// the calls.
class TrackWriter {
 public:
  TrackWriter(const TrackCounter& counted, std::uint8_t* data, Event* events,
              std::uint32_t ticksPerSecond, std::uint32_t track, std::vector<EventRef>& loopMarks)
      : counted_(counted),
        data_(data),
        events_(events),
        ms_(ticksPerSecond),
        track_(track),
        loopMarks_(loopMarks) {}

  void expectNotes(std::size_t) {}
  void channel(std::uint32_t tick, std::uint8_t status, std::uint8_t first,
               std::uint8_t second = 0) {
    if (nextOff_ < counted_.offOrder.size() && counted_.offOrder[nextOff_] >> 32 <= tick)
      offsBefore(tick);
    const std::uint8_t bytes[4] = {status, first, second, 0};
    write(tick, kChannelEvent, bytes, 4);
  }
  void smf(std::uint32_t tick, const std::uint8_t* at, const EventShape& shape);
  void noteOn(std::uint32_t tick, std::uint8_t channelNumber, std::uint8_t key,
              std::uint8_t velocity, std::uint32_t duration);
  void end(std::uint32_t);

  std::uint32_t lastMs() const { return lastMs_; }

 private:
  // Writes the note-offs due at or before `tick`: they go before the tick's other events.
  void offsBefore(std::uint32_t tick);
  void writeOff(std::uint32_t tick, const TrackCounter::Note& note) {
    const std::uint8_t bytes[4] = {note.status, note.key, 0, 0};
    write(tick, kChannelEvent, bytes, 4);
  }
  // Room for an event of `size` bytes, timed; nullptr when the blocks are full.
  std::uint8_t* place(std::uint32_t tick, std::uint32_t kind, std::uint32_t size) {
    if (count_ >= counted_.events || std::uint64_t{written_} + size > counted_.bytes)
      return nullptr;
    // One second is a quarter note of one million µs at `ticksPerSecond` ticks to it.
    if (count_ == 0 || tick != lastTick_) lastMs_ = ms_(std::uint64_t{tick} * 1000000);
    lastTick_ = tick;
    events_[count_++] = Event{tick, lastMs_, kind, written_, size};
    std::uint8_t* out = data_ + written_;
    written_ += size;
    return out;
  }
  void write(std::uint32_t tick, std::uint32_t kind, const std::uint8_t* bytes,
             std::uint32_t size) {
    std::uint8_t* out = place(tick, kind, size);
    if (out == nullptr) return;
    std::memcpy(out, bytes, size);
    if (mayMarkLoop(kind, out)) loopMarks_.push_back(EventRef{track_, count_ - 1});
  }

  const TrackCounter& counted_;
  std::uint8_t* data_;
  Event* events_;
  TrackClock::MsDivider ms_;
  std::uint32_t track_;
  std::vector<EventRef>& loopMarks_;
  std::size_t nextOff_ = 0;  // in counted_.offOrder
  std::uint32_t note_ = 0, count_ = 0, written_ = 0, lastTick_ = 0, lastMs_ = 0;
};

inline void TrackWriter::noteOn(std::uint32_t tick, std::uint8_t channelNumber, std::uint8_t key,
                                std::uint8_t velocity, std::uint32_t) {
  channel(tick, static_cast<std::uint8_t>(0x90 | (channelNumber & 0x0F)), key & 0x7F, velocity);
  if (note_ >= counted_.notes.size()) return;
  const TrackCounter::Note& note = counted_.notes[note_];
  // Cut back to its own tick by a note on the same key: it ends right after it starts.
  if (note.offTick <= tick) writeOff(tick, note);
  ++note_;
}

inline void TrackWriter::smf(std::uint32_t tick, const std::uint8_t* at, const EventShape& shape) {
  offsBefore(tick);
  std::uint8_t* out = place(tick, shape.kind, shape.expanded);
  if (out == nullptr) return;
  writeEvent(at, shape, out);
  if (mayMarkLoop(shape.kind, out)) loopMarks_.push_back(EventRef{track_, count_ - 1});
}

inline void TrackWriter::end(std::uint32_t) {
  offsBefore(0xFFFFFFFFu);
  static constexpr std::uint8_t kEnd[] = {0xFF, 0x2F, 0x00};
  write(std::max(counted_.endTick, lastTick_), kMetaEvent, kEnd, 3);
}

inline void TrackWriter::offsBefore(std::uint32_t tick) {
  const BlockVector<std::uint64_t>& order = counted_.offOrder;
  for (; nextOff_ < order.size() && order[nextOff_] >> 32 <= tick; ++nextOff_) {
    const std::uint64_t off = order[nextOff_];
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(off >> 8),
                                   static_cast<std::uint8_t>(off), 0, 0};
    write(static_cast<std::uint32_t>(off >> 32), kChannelEvent, bytes, 4);
  }
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

// Gives the song a table of `trackCount` tracks, each parsed by parseTrack(t, sink) twice, with a
// TrackCounter and then a TrackWriter; parseTrack calls sink.end once at the end. Every event is
// timed at `ticksPerSecond`; the lengths are set, the events that may mark a loop added to
// `loopMarks`. False when a block could not be made; those made stay for the caller.
bool makeTrackTable(platform::HGLOBAL song, std::uint32_t trackCount);
bool sizeTrack(Track& track, const TrackCounter& counted);
template <class ParseTrack>
bool storeTracks(platform::HGLOBAL songHandle, std::uint32_t trackCount,
                 std::uint32_t ticksPerSecond, std::vector<EventRef>& loopMarks,
                 ParseTrack&& parseTrack) {
  if (!makeTrackTable(songHandle, trackCount)) return false;
  Resolved<Song> song(songHandle);
  Resolved<Track> tracks(song->trackTable);
  if (!tracks && trackCount != 0) return false;
  for (std::uint32_t t = 0; t < trackCount; ++t) {
    TrackCounter counted;
    parseTrack(t, counted);
    if (!sizeTrack(tracks[t], counted)) return false;
    if (tracks[t].eventCount == 0) continue;
    Resolved<std::uint8_t> data(tracks[t].dataBlock);
    Resolved<Event> events(tracks[t].eventBlock);
    if (!data || !events) return false;
    TrackWriter writer(counted, data.get(), events.get(), ticksPerSecond, t, loopMarks);
    parseTrack(t, writer);
    tracks[t].lengthMs = writer.lastMs();
    song->lengthMs = std::max(song->lengthMs, tracks[t].lengthMs);
  }
  return true;
}

}  // namespace quavr
