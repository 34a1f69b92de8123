// Extended MIDI (XMI): IFF chunks with big-endian lengths padded to an even size. A file is a
// bare "FORM" of type "XMID" (one song), or a "FORM XDIR" (the song count) followed by a
// "CAT " of type "XMID" holding one "FORM XMID" per song. A song's form holds optional "TIMB"
// (timbres, read past) and "RBRN" (branch points, kept) chunks, then "EVNT", its one track: a delay
// is the sum of consecutive bytes below 0x80, there is no running status, and a note-on is followed
// by its duration as a variable-length quantity. Time runs at a fixed 120 ticks per second; a
// set-tempo event never changes it.
#include <algorithm>
#include <cstring>

#include "base/block.h"
#include "include/quavr.h"
#include "platform/common/midi_message.h"
#include "song/fixed_rate_tracks.h"
#include "song/little_endian.h"
#include "song/meter_map.h"
#include "song/smf_chunks.h"
#include "song/song_format.h"
#include "song/track_events.h"

namespace quavr {

namespace {

constexpr std::uint32_t kTicksPerSecond = 120;

bool is(const std::uint8_t* at, const char* id) {
  return std::memcmp(at, id, 4) == 0;
}

// Calls fn(id, body) for each chunk in `range` until fn returns false. A chunk whose length runs
// past the range is given clipped to it and ends the walk.
template <class Fn>
void walkChunks(ByteRange range, Fn&& fn) {
  const std::uint8_t* at = range.begin;
  while (range.end - at >= 8) {
    const std::uint8_t* body = at + 8;
    const std::uint64_t length = bigEndian(at + 4, 4);
    const auto left = static_cast<std::uint64_t>(range.end - body);
    if (!fn(at, ByteRange{body, length > left ? range.end : body + length})) return;
    if (length + (length & 1) >= left) return;
    at = body + length + (length & 1);
  }
}

// A form or list of `type`: its chunks follow the type.
bool isGroup(const std::uint8_t* id, ByteRange body, const char* group, const char* type) {
  return is(id, group) && body.end - body.begin >= 4 && is(body.begin, type);
}

// The "FORM XMID" of every song, in file order.
std::vector<ByteRange> findSongs(const std::uint8_t* image, std::uint32_t size) {
  std::vector<ByteRange> songs;
  const auto addSong = [&](const std::uint8_t* id, ByteRange body) {
    if (isGroup(id, body, "FORM", "XMID")) songs.push_back(ByteRange{body.begin + 4, body.end});
    return true;
  };
  walkChunks(ByteRange{image, image + size}, [&](const std::uint8_t* id, ByteRange body) {
    if (isGroup(id, body, "CAT ", "XMID")) walkChunks(ByteRange{body.begin + 4, body.end}, addSong);
    return addSong(id, body);
  });
  return songs;
}

// What the reading notes beside the events: the time signatures, and the tick at each branch
// point's offset (kNoLoop for one past the events).
struct EventNotes {
  std::vector<MeterChange>& meters;
  std::vector<std::pair<std::uint32_t, std::uint32_t*>> offsets;  // offset, its tick; by offset
  std::size_t reached = 0;
};

// The events of one EVNT chunk into `sink`.
template <class Sink>
void readEvents(ByteRange events, Sink& sink, EventNotes& notes) {
  std::uint32_t tick = 0;
  std::uint8_t noRunningStatus = 0;
  const std::uint8_t* at = events.begin;
  const std::uint8_t* end = events.end;
  sink.expectBytes(static_cast<std::size_t>(end - at));
  while (at < end) {
    for (; notes.reached < notes.offsets.size() &&
           notes.offsets[notes.reached].first <= static_cast<std::uint64_t>(at - events.begin);
         ++notes.reached)
      *notes.offsets[notes.reached].second = tick;
    const std::uint8_t status = *at;
    if (status < 0x80) {  // one byte of a delay
      tick = tickAfter(tick, status);
      ++at;
      continue;
    }
    if (status == 0xFF && end - at >= 2 && at[1] == 0x2F) break;  // the end of the track
    if (status >= 0xF0) {
      MeterChange meter;
      if (readTimeSignature(at, end, tick, meter)) notes.meters.push_back(meter);
      const std::uint32_t taken = smfEvent(sink, tick, at, end, noRunningStatus);
      if (taken == 0) break;
      at += taken;
      continue;
    }
    if ((status & 0xF0) == 0x90) {
      const std::uint32_t taken = duratedNoteOn(sink, tick, status, at + 1, end);
      if (taken == 0) break;
      at += 1 + taken;
      continue;
    }
    const std::uint32_t length = platform::midiMessageLength(status);
    if (end - at < static_cast<std::ptrdiff_t>(length)) break;
    sink.channel(tick, status, at[1], length == 3 ? at[2] : 0);
    at += length;
  }
  sink.end(tick);
}

bool recognise(const std::uint8_t* image, std::uint32_t size) {
  return size >= 12 && (is(image, "FORM") || is(image, "CAT ")) &&
         (is(image + 8, "XDIR") || is(image + 8, "XMID"));
}

// The branch points of an RBRN chunk: a little-endian count, then for each a 16-bit id and a
// 32-bit offset. Those the chunk holds whole are kept. False when a block could not be made.
bool keepBranches(Song& song, ByteRange chunk) {
  if (chunk.end - chunk.begin < 2) return true;
  const std::uint32_t whole = static_cast<std::uint32_t>(chunk.end - chunk.begin - 2) / 6;
  const std::uint32_t count = std::min(littleEndian(chunk.begin, 2), whole);
  if (count == 0) return true;
  song.branchBlock = platform::GlobalAlloc(platform::GMEM_MOVEABLE, count * sizeof(BranchPoint));
  Resolved<BranchPoint> branches(song.branchBlock);
  if (!branches) return false;
  for (std::uint32_t b = 0; b < count; ++b) {
    const std::uint8_t* at = chunk.begin + 2 + 6 * b;
    branches[b] = BranchPoint{littleEndian(at, 2), littleEndian(at + 2, 4), kNoLoop};
  }
  song.branchCount = count;
  return true;
}

bool load(const LoadInput& in) {
  const std::vector<ByteRange> songs = findSongs(in.image, in.size);
  std::vector<ByteRange> tracks;
  ByteRange branches{nullptr, nullptr};
  if (in.songIndex < songs.size()) {
    walkChunks(songs[in.songIndex], [&](const std::uint8_t* id, ByteRange body) {
      if (is(id, "RBRN")) branches = body;
      if (!is(id, "EVNT")) return true;  // timbres are not needed to play
      tracks.push_back(body);
      return false;
    });
  }
  std::vector<std::uint32_t> branchTicks;
  EventNotes notes{in.meters, {}};
  {
    Resolved<Song> song(in.song);
    if (!song || !keepBranches(*song, branches)) return false;
    song->songCount = songs.empty() ? 1 : static_cast<std::uint32_t>(songs.size());
    Resolved<BranchPoint> points(song->branchBlock);
    branchTicks.assign(song->branchCount, kNoLoop);
    for (std::uint32_t b = 0; b < song->branchCount; ++b)
      notes.offsets.emplace_back(points[b].offset, &branchTicks[b]);
    std::sort(notes.offsets.begin(), notes.offsets.end());
  }
  // A quarter note at 120 beats per minute.
  if (!setFixedRate(in.song, QUAVR_FORMAT_XMI, kTicksPerSecond, kTicksPerSecond / 2) ||
      !storeTracks(in.song, static_cast<std::uint32_t>(tracks.size()), kTicksPerSecond,
                   in.loopMarks,
                   [&](std::uint32_t t, auto& sink) { readEvents(tracks[t], sink, notes); }))
    return false;
  Resolved<Song> song(in.song);
  Resolved<BranchPoint> points(song ? song->branchBlock : 0);
  for (std::uint32_t b = 0; points && b < song->branchCount; ++b) {
    // Timed as an event at that tick is.
    points[b].timeMs =
        branchTicks[b] == kNoLoop
            ? kNoLoop
            : static_cast<std::uint32_t>(std::uint64_t{branchTicks[b]} * 1000 / kTicksPerSecond);
  }
  return true;
}

}  // namespace

const SongFormat kXmiFormat{recognise, load};

}  // namespace quavr
