#include "song/song_walk.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/block.h"
#include "platform/common/copy_out.h"
#include "platform/common/midi_message.h"
#include "song/musical_time.h"
#include "song/set_tempo.h"
#include "song/song_registry.h"
#include "song/track_events.h"

namespace quavr {

using namespace platform;

// The host's struct has one layout in every build: the 32-bit DLL's and the 64-bit library's.
static_assert(sizeof(QuavrSongEvent) == 32);
static_assert(offsetof(QuavrSongEvent, timeMs) == 0 && offsetof(QuavrSongEvent, tick) == 4 &&
              offsetof(QuavrSongEvent, track) == 8 && offsetof(QuavrSongEvent, length) == 12 &&
              offsetof(QuavrSongEvent, endMs) == 16 && offsetof(QuavrSongEvent, barBeat) == 20 &&
              offsetof(QuavrSongEvent, status) == 24 && offsetof(QuavrSongEvent, type) == 25 &&
              offsetof(QuavrSongEvent, data) == 26 && offsetof(QuavrSongEvent, reserved) == 28);

namespace {

// A track as the walk reads it; its blocks stay resolved while the walk block lives.
struct WalkTrack {
  const Event* events;
  const std::uint8_t* data;
  std::uint32_t eventCount;
  std::uint32_t dataSize;
  HGLOBAL eventBlock;
  HGLOBAL dataBlock;
};

struct MergeState;

// The walk block: this header, then the tracks, then by position in the walk each event's index
// in its track, note end, short message and track, written as far as the merge has gone.
struct WalkHeader {
  std::uint32_t eventCount;
  std::uint32_t trackCount;
  MergeState* merge;
};

// Where a walk block's arrays begin, and its size.
struct WalkOffsets {
  std::uint64_t tracks, indexes, ends, messages, trackOf, size;
};

WalkOffsets offsetsOf(const WalkHeader& h) {
  WalkOffsets o;
  o.tracks = sizeof(WalkHeader);
  o.indexes = o.tracks + std::uint64_t{sizeof(WalkTrack)} * h.trackCount;
  o.ends = o.indexes + 4ull * h.eventCount;
  o.messages = o.ends + 4ull * h.eventCount;
  o.trackOf = o.messages + 4ull * h.eventCount;
  o.size = o.trackOf + 2ull * h.eventCount;
  return o;
}

// The arrays of a walk block.
struct Walk {
  WalkHeader* header;
  WalkTrack* tracks;
  std::uint32_t* indexes;
  std::uint32_t* ends;
  std::uint8_t* messages;  // 4 bytes each: a short message as its track stores it; 0 for others
  std::uint16_t* trackOf;
};

// The walk in the block at `base`, whose header is written.
Walk walkAt(std::uint8_t* base) {
  const WalkOffsets o = offsetsOf(*reinterpret_cast<WalkHeader*>(base));
  return {reinterpret_cast<WalkHeader*>(base),
          reinterpret_cast<WalkTrack*>(base + o.tracks),
          reinterpret_cast<std::uint32_t*>(base + o.indexes),
          reinterpret_cast<std::uint32_t*>(base + o.ends),
          base + o.messages,
          reinterpret_cast<std::uint16_t*>(base + o.trackOf)};
}

static_assert(sizeof(WalkHeader) % alignof(WalkTrack) == 0 && sizeof(WalkTrack) % 4 == 0);

// Which of a short message's two data bytes its length keeps.
constexpr std::uint16_t kDataMask[4] = {0, 0, 0x00FF, 0xFFFF};

// An event's bytes as a host sees them.
struct EventBytes {
  const std::uint8_t* bytes;
  std::uint32_t length;
  std::uint8_t status;
  std::uint8_t type;
};

EventBytes bytesOf(const Event& e, const std::uint8_t* data) {
  const std::uint8_t* at = data + e.offset;
  switch (e.kind) {
    case kChannelEvent:  // stored in four bytes, whatever its length
      return {at, midiMessageLength(at[0]), at[0], 0};
    case kSysexEvent:  // F0 and the data: the data
      return {at + 1, e.length - 1, 0xF0, 0};
    case kEscapeEvent:
      return {at, e.length, 0xF7, 0};
    default: {  // meta: FF, the type, the length, the data
      const VarLen size = readVarLen(at + 2, at + e.length);
      return {at + 2 + size.size, std::min(size.value, e.length - 2 - size.size), 0xFF, at[1]};
    }
  }
}

// Records the event at `position`: its short message, kept where the walk reads it in order, and
// its note: a note-on ends at the next note-off or note-on of its channel and key. `sounding`
// holds, per channel and key, the position + 1 of the note-on sounding there, or 0.
inline void record(const Walk& walk, std::uint32_t position, const Event& e,
                   const std::uint8_t* data, std::uint32_t* sounding) {
  std::uint8_t* message = walk.messages + 4 * std::size_t{position};
  walk.ends[position] = 0;
  if (e.kind != kChannelEvent) {
    std::memset(message, 0, 4);
    return;
  }
  const std::uint8_t* at = data + e.offset;
  std::memcpy(message, at, 4);
  if ((at[0] & 0xE0) != 0x80) return;
  std::uint32_t& note = sounding[(at[0] & 0x0Fu) << 7 | (at[1] & 0x7Fu)];
  if (note != 0) walk.ends[note - 1] = e.timeMs;
  note = (at[0] & 0xF0) == 0x90 && at[2] != 0 ? position + 1 : 0;
}

// The tracks are as many streams through memory as there are tracks, more than the processor
// follows unaided: each step asks for its track's events and bytes a few cache lines ahead.
inline void prefetchAhead(const Event& e, const std::uint8_t* bytes) {
  __builtin_prefetch(&e + 12);
  __builtin_prefetch(bytes + 192);
}

std::uint64_t keyOf(const WalkTrack& track, std::uint32_t event, std::uint32_t t) {
  return std::uint64_t{track.events[event].timeMs} << 32 | t;
}

constexpr std::uint64_t kDone = ~0ull;  // the key of a track with no events left

// A tournament of the tracks' next keys (time, then track): the leaves, a power of two of them
// padded with kDone, and above them each match's loser, the winner at the top. A track's new key
// replays only its own path, whose nodes are known before any comparison, without a branch.
class Tournament {
 public:
  explicit Tournament(std::vector<std::uint64_t> keys) {
    while (leaves_ < keys.size()) leaves_ *= 2;
    keys.resize(leaves_, kDone);
    losers_.assign(leaves_, kDone);
    std::vector<std::uint64_t> winners(2 * leaves_);
    std::copy(keys.begin(), keys.end(), winners.begin() + static_cast<std::ptrdiff_t>(leaves_));
    for (std::size_t node = leaves_ - 1; node >= 1; --node) {
      winners[node] = std::min(winners[2 * node], winners[2 * node + 1]);
      losers_[node] = std::max(winners[2 * node], winners[2 * node + 1]);
    }
    winner_ = winners[1];
  }
  std::uint64_t winner() const { return winner_; }
  // The winner's track has `key` next.
  void replay(std::uint64_t key) {
    for (std::size_t node = (leaves_ + (winner_ & 0xFFFF)) / 2; node >= 1; node /= 2) {
      const std::uint64_t other = losers_[node];
      losers_[node] = std::max(other, key);
      key = std::min(other, key);
    }
    winner_ = key;
  }

 private:
  std::size_t leaves_ = 1;
  std::vector<std::uint64_t> losers_;
  std::uint64_t winner_ = kDone;
};

// The merge as far as it has gone. A walk merges only as far as its events need, on from where
// the last stopped: a host's walk in chunks, mostly forward, merges each event once, just before
// it copies it.
struct MergeState {
  explicit MergeState(std::vector<std::uint64_t> keys, std::uint32_t tracks)
      : order(std::move(keys)), next(tracks, 0), sounding(16 * 128, 0) {}
  std::mutex mutex;  // over all below, and the walk's arrays from `ready` on
  Tournament order;
  std::vector<std::uint32_t> next;      // each track's next event
  std::vector<std::uint32_t> sounding;  // as record() keeps it
  std::uint32_t built = 0;              // positions merged
  std::uint32_t ready = 0;              // positions merged, each note-on's end found: final
};

constexpr std::uint32_t kMergeStep = 4096;

// Merges on until the positions below `need` are final (a note-on's end may come much later) or
// every position is merged.
void mergeUntil(const Walk& walk, MergeState& m, std::uint32_t need) {
  const std::uint32_t total = walk.header->eventCount;
  while (m.ready < need && m.built < total) {
    const std::uint32_t stop =
        std::min(total, std::max(need, m.built + std::min(kMergeStep, total - m.built)));
    // In locals: the walk's arrays, written here, could alias the state's fields.
    std::uint32_t* const next = m.next.data();
    std::uint32_t* const sounding = m.sounding.data();
    for (std::uint32_t position = m.built; position < stop; ++position) {
      const auto t = static_cast<std::uint32_t>(m.order.winner() & 0xFFFF);
      const WalkTrack& track = walk.tracks[t];
      const std::uint32_t event = next[t]++;
      const Event& e = track.events[event];
      prefetchAhead(e, track.data + e.offset);
      walk.trackOf[position] = static_cast<std::uint16_t>(t);
      walk.indexes[position] = event;
      record(walk, position, e, track.data, sounding);
      m.order.replay(event + 1 < track.eventCount ? keyOf(track, event + 1, t) : kDone);
    }
    m.built = m.ready = stop;
    if (m.built == total) break;
    for (const std::uint32_t note : m.sounding) {
      if (note != 0) m.ready = std::min(m.ready, note - 1);
    }
  }
}

// Releases what the walk block holds resolved and frees it; 0, or the block when it would not go.
HGLOBAL freeWalkBlock(HGLOBAL block) {
  if (block == 0) return 0;
  {
    Resolved<std::uint8_t> base(block);
    if (!base) return block;
    const Walk walk = walkAt(base.get());
    delete walk.header->merge;
    for (std::uint32_t t = 0; t < walk.header->trackCount; ++t) {
      if (walk.tracks[t].events != nullptr) GlobalUnlock(walk.tracks[t].eventBlock);
      if (walk.tracks[t].data != nullptr) GlobalUnlock(walk.tracks[t].dataBlock);
    }
  }
  return GlobalFree(block);
}

// A walk block for the tracks in `table`, with their blocks resolved; 0 when memory ran out.
HGLOBAL buildWalk(HGLOBAL table, std::uint32_t trackCount) {
  Resolved<Track> tracks(table);
  if (trackCount != 0 && !tracks) return 0;
  WalkHeader header{0, trackCount, nullptr};
  std::uint64_t events = 0;
  for (std::uint32_t t = 0; t < trackCount; ++t) events += tracks[t].eventCount;
  // Positions are 32-bit with one to spare; tracks 16-bit, as a file numbers them.
  if (events >= 0xFFFFFFFFu || trackCount > 0x10000) return 0;
  header.eventCount = static_cast<std::uint32_t>(events);
  const std::uint64_t size = offsetsOf(header).size;
  const HGLOBAL block = size > 0xFFFFFFF0u ? 0 : GlobalAlloc(GMEM_MOVEABLE, size);
  Resolved<std::uint8_t> base(block);
  if (!base) {
    GlobalFree(block);
    return 0;
  }
  *reinterpret_cast<WalkHeader*>(base.get()) = header;
  const Walk walk = walkAt(base.get());
  bool resolved = true;
  for (std::uint32_t t = 0; t < trackCount; ++t) {
    const Track& from = tracks[t];
    WalkTrack& to = walk.tracks[t];
    to = {nullptr, nullptr, 0, from.dataSize, from.eventBlock, from.dataBlock};
    if (from.eventCount == 0) continue;
    to.events = static_cast<const Event*>(GlobalLock(from.eventBlock));
    to.data = static_cast<const std::uint8_t*>(GlobalLock(from.dataBlock));
    to.eventCount = from.eventCount;
    resolved = resolved && to.events != nullptr && to.data != nullptr;
  }
  if (resolved) {
    std::vector<std::uint64_t> keys(trackCount);
    for (std::uint32_t t = 0; t < trackCount; ++t) {
      keys[t] = walk.tracks[t].eventCount != 0 ? keyOf(walk.tracks[t], 0, t) : kDone;
    }
    walk.header->merge = new MergeState(std::move(keys), trackCount);
    return block;
  }
  base.reset();
  freeWalkBlock(block);
  return 0;
}

// What a walk reads of a song record: its tracks and its grid, set at load and kept while the
// song is pinned; none of the fields playback moves, which a copy of the whole would race.
Song walkedFields(const Song& song) {
  Song out{};
  out.trackCount = song.trackCount;
  out.trackTable = song.trackTable;
  out.division = song.division;
  out.tickRate = song.tickRate;
  out.tempoBlock = song.tempoBlock;
  out.tempoCount = song.tempoCount;
  out.meterBlock = song.meterBlock;
  out.meterCount = song.meterCount;
  out.endTick = song.endTick;
  return out;
}

// The song's walk block, resolved, with the song pinned until it goes, so that neither the song
// nor its tracks go meanwhile. The block is built at the song's first walk.
class PinnedWalk {
 public:
  explicit PinnedWalk(HGLOBAL song) : song_(song) {
    HGLOBAL block = 0;
    loadedSongs().visit(song, [&](LoadedSong& entry) {
      Resolved<Song> record(song);
      if (!record) return false;
      ++entry.readers;
      pinned_ = true;
      record_ = walkedFields(*record);
      block = record->walkBlock;
      return false;
    });
    if (!pinned_) return;
    if (block == 0) {
      // Built with the registry unlocked: a long song takes a while.
      const HGLOBAL built = buildWalk(record_.trackTable, record_.trackCount);
      if (built == 0) return;
      withLoadedSong(song, [&] {
        Resolved<Song> record(song);
        if (record && record->walkBlock == 0) record->walkBlock = built;
        block = record ? record->walkBlock : 0;
      });
      if (block != built) freeWalkBlock(built);  // another walk's came first
    }
    base_ = Resolved<std::uint8_t>(block);
    if (base_) walk_ = walkAt(base_.get());
  }
  ~PinnedWalk() {
    base_.reset();
    if (pinned_) unpinSong(song_);
  }
  PinnedWalk(const PinnedWalk&) = delete;
  PinnedWalk& operator=(const PinnedWalk&) = delete;

  explicit operator bool() const { return static_cast<bool>(base_); }
  const WalkHeader& header() const { return *walk_.header; }

  // Merges as far as the positions below `need` need; false when some of them are not events.
  bool ensure(std::uint64_t need) const {
    if (need > walk_.header->eventCount) return false;
    MergeState& m = *walk_.header->merge;
    const std::lock_guard guard(m.mutex);
    mergeUntil(walk_, m, static_cast<std::uint32_t>(need));
    return true;
  }

  // The track and the event at `position`, below the event count.
  const WalkTrack& track(std::uint32_t position) const {
    return walk_.tracks[walk_.trackOf[position]];
  }
  const Event& event(std::uint32_t position) const {
    return track(position).events[walk_.indexes[position]];
  }

  // Copies `count` events from `first` on, all below the event count. Short messages, nearly all
  // of a song, come from the walk's own record, in order; the rest through bytesOf.
  void copy(std::uint32_t first, std::uint32_t count, QuavrSongEvent* out) const {
    QuavrSongEvent* const start = out;
    const std::uint16_t* trackOf = walk_.trackOf + first;
    const std::uint32_t* index = walk_.indexes + first;
    const std::uint32_t* ends = walk_.ends + first;
    const std::uint8_t* message = walk_.messages + 4 * std::size_t{first};
    for (QuavrSongEvent* const last = out + count; out != last; ++out, ++ends, message += 4) {
      const std::uint32_t t = *trackOf++;
      const Event& e = walk_.tracks[t].events[*index++];
      __builtin_prefetch(&e + 12);  // the tracks are more streams than the processor follows
      if (e.kind == kChannelEvent) {
        const std::uint32_t length = midiMessageLength(message[0]);
        *out = {e.timeMs,
                e.tick,
                t,
                length,
                *ends,
                0,
                message[0],
                0,
                {static_cast<std::uint8_t>(message[1] & kDataMask[length]),
                 static_cast<std::uint8_t>(message[2] & kDataMask[length] >> 8)},
                0};
      } else {
        const EventBytes b = bytesOf(e, walk_.tracks[t].data);
        *out = {e.timeMs, e.tick, t, b.length, *ends, 0, b.status, b.type, {0, 0}, 0};
      }
    }
    // Bars and beats in a pass of their own, over what was just written: the walk above waits
    // on memory, this on arithmetic.
    const SongGrid grid(record_);
    PlaceCursor places(grid);
    for (QuavrSongEvent* e = start; e != out; ++e) e->barBeat = places.packedAt(e->timeMs);
  }

 private:
  HGLOBAL song_;
  bool pinned_ = false;
  Song record_{};
  Resolved<std::uint8_t> base_;
  Walk walk_{};
};

}  // namespace

std::int32_t songEvents(HGLOBAL song, std::uint32_t first, QuavrSongEvent* events,
                        std::uint32_t count) {
  if (count == 0 || events == nullptr) {
    const bool loaded = withLoadedSong(song, [] {});
    return loaded && count == 0 ? 0 : -1;
  }
  const PinnedWalk walk(song);
  if (!walk) return -1;
  const std::uint32_t total = walk.header().eventCount;
  if (first >= total) return 0;
  count = std::min({count, total - first, 0x7FFFFFFFu});
  walk.ensure(first + count);
  walk.copy(first, count, events);
  return static_cast<std::int32_t>(count);
}

std::int32_t songEventData(HGLOBAL song, std::uint32_t index, void* buffer, std::uint32_t size) {
  const PinnedWalk walk(song);
  if (!walk || !walk.ensure(index + 1ull)) return -1;
  const EventBytes b = bytesOf(walk.event(index), walk.track(index).data);
  return copyOut(b.bytes, b.length, buffer, size);
}

std::uint32_t songEventTempo(HGLOBAL song, std::uint32_t index) {
  const PinnedWalk walk(song);
  if (!walk || !walk.ensure(index + 1ull)) return QUAVR_NONE;
  const WalkTrack& track = walk.track(index);
  const Event& e = walk.event(index);
  return isSetTempo(e, track.data) ? tempoOf(e, track.data, track.dataSize) : QUAVR_NONE;
}

bool freeSongWalk(Song& song) {
  song.walkBlock = freeWalkBlock(song.walkBlock);
  return song.walkBlock == 0;
}

}  // namespace quavr
