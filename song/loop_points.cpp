#include "song/loop_points.h"

#include <cstring>

#include "base/block.h"
#include "base/shared_value.h"
#include "include/quavr.h"
#include "song/meta_text.h"
#include "song/song_registry.h"

namespace quavr {

using namespace platform;

namespace {

constexpr int kMarkers = 0;
constexpr int kCc116 = 1;
constexpr int kCc111 = 2;

// The text is `word`, in any case.
bool textIs(const MetaText& text, const char* word) {
  if (text.size != std::strlen(word)) return false;
  for (std::uint32_t i = 0; i < text.size; ++i) {
    const auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(text.bytes[i]) != lower(static_cast<unsigned char>(word[i]))) return false;
  }
  return true;
}

// The state at the loop start, and what the loop up to its end changes.
bool computeRestore(const Song& song, const Track* tracks, LoopPoints loop, LoopRestore& restore) {
  restore.loop = loop;
  return channelStatesAt(tracks, song.trackCount, loop.startMs, loop.endMs, restore.channels);
}

}  // namespace

std::uint32_t loopStyleBit(int convention) {
  static constexpr std::uint32_t kBits[kLoopConventions] = {QUAVR_LOOP_MARKERS,
                                                            QUAVR_LOOP_CC116_117, QUAVR_LOOP_CC111};
  return kBits[convention];
}

// Calls fn(convention, isStart, time) for every loop mark among the candidates.
template <class Fn>
void forEachLoopMark(const Song& song, const Track* tracks, const std::vector<EventRef>& candidates,
                     Fn&& fn) {
  std::uint32_t resolvedTrack = song.trackCount;
  Resolved<Event> events;
  Resolved<std::uint8_t> data;
  for (const EventRef& at : candidates) {
    if (at.track != resolvedTrack) {
      resolvedTrack = at.track;
      events = Resolved<Event>(tracks[at.track].eventBlock);
      data = Resolved<std::uint8_t>(tracks[at.track].dataBlock);
    }
    if (!events || !data) continue;
    const Event& e = events[at.index];
    const std::uint8_t* b = data.get() + e.offset;
    MetaText text;
    if (e.kind == kChannelEvent && (b[0] & 0xF0) == 0xB0) {
      if (b[1] == 111) fn(kCc111, true, e.timeMs);
      if (b[1] == 116) fn(kCc116, true, e.timeMs);
      if (b[1] == 117) fn(kCc116, false, e.timeMs);
    } else if (metaTextOf(e, data.get(), text) &&
               (text.type == kMetaText || text.type == kMetaMarker)) {
      if (textIs(text, "loopStart")) fn(kMarkers, true, e.timeMs);
      if (textIs(text, "loopEnd")) fn(kMarkers, false, e.timeMs);
    }
  }
}

void findLoops(Song& song, const Track* tracks, const std::vector<EventRef>& candidates) {
  // The earliest start; then the earliest end after it. A start without an end loops to the
  // song's end; an end without a start loops from 0; an end at or before the start is no end.
  // CC111 marks only a start.
  std::uint32_t start[kLoopConventions] = {kNoLoop, kNoLoop, kNoLoop};
  bool anyEnd[kLoopConventions] = {false, false, false};
  forEachLoopMark(song, tracks, candidates, [&](int c, bool isStart, std::uint32_t time) {
    if (isStart && time < start[c]) start[c] = time;
    if (!isStart) anyEnd[c] = true;
  });
  for (int c = 0; c < kLoopConventions; ++c) {
    if (start[c] == kNoLoop && anyEnd[c]) start[c] = 0;
  }
  std::uint32_t end[kLoopConventions] = {song.lengthMs, song.lengthMs, song.lengthMs};
  // Tracks are not in time order with one another: the ends are sought once the start is known.
  if (anyEnd[kMarkers] || anyEnd[kCc116]) {
    forEachLoopMark(song, tracks, candidates, [&](int c, bool isStart, std::uint32_t time) {
      if (!isStart && time > start[c] && time < end[c]) end[c] = time;
    });
  }
  for (int c = 0; c < kLoopConventions; ++c) {
    // An end at 0xFFFFFFFF ms cannot be told from no loop: such a song (49 days) has none.
    const bool loops = start[c] < end[c] && end[c] != kNoLoop;
    song.foundLoops[c] = loops ? LoopPoints{start[c], end[c]} : LoopPoints{kNoLoop, kNoLoop};
  }
  song.explicitLoop = {kNoLoop, kNoLoop};
  song.loop = {kNoLoop, kNoLoop};
}

bool chooseLoop(Song& song) {
  LoopPoints loop = song.explicitLoop;
  std::uint32_t style = 0;
  for (int c = 0; loop.startMs == kNoLoop && c < kLoopConventions; ++c) {
    if ((song.loopStyles & loopStyleBit(c)) != 0 && song.foundLoops[c].startMs != kNoLoop) {
      loop = song.foundLoops[c];
      style = loopStyleBit(c);
    }
  }
  const bool same = loop.startMs == song.loop.startMs && loop.endMs == song.loop.endMs;
  song.loopStyle = style;
  if (same && (loop.startMs == kNoLoop || song.loopBlock != 0)) return true;
  // The clock reads the end without the registry's lock: it never sees an end whose block is
  // not there yet, since the old block goes before and the end comes last.
  store(song.loop.endMs, kNoLoop);
  song.loopBlock = GlobalFree(song.loopBlock);
  song.loop.startMs = kNoLoop;
  if (loop.startMs == kNoLoop) return true;
  const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(LoopRestore));
  Resolved<LoopRestore> restore(block);
  Resolved<Track> tracks(song.trackTable);
  if (!restore || !tracks) {
    restore.reset();
    GlobalFree(block);
    return false;
  }
  if (!computeRestore(song, tracks.get(), loop, *restore)) {
    restore.reset();
    tracks.reset();
    GlobalFree(block);
    return false;
  }
  song.loop.startMs = loop.startMs;
  song.loopBlock = block;
  store(song.loop.endMs, loop.endMs);
  return true;
}

std::int32_t setLoopStyle(HGLOBAL songHandle, std::uint32_t styles) {
  std::int32_t result = -1;
  withLoadedSong(songHandle, [&] {
    Resolved<Song> song(songHandle);
    if (!song) return;
    song->loopStyles = styles & (QUAVR_LOOP_MARKERS | QUAVR_LOOP_CC111 | QUAVR_LOOP_CC116_117);
    result = chooseLoop(*song) ? 0 : -1;
  });
  return result;
}

std::int32_t setLoopPoints(HGLOBAL songHandle, std::uint32_t startMs, std::uint32_t endMs) {
  std::int32_t result = -1;
  withLoadedSong(songHandle, [&] {
    Resolved<Song> song(songHandle);
    if (!song) return;
    LoopPoints loop{kNoLoop, kNoLoop};
    if (startMs != kNoLoop || endMs != kNoLoop) {
      // An end past the song's end is its end: the clock never gets further.
      const std::uint32_t end = endMs > song->lengthMs ? song->lengthMs : endMs;
      if (startMs >= end || end == kNoLoop) return;
      loop = {startMs, end};
    }
    const LoopPoints before = song->explicitLoop;
    song->explicitLoop = loop;
    if (chooseLoop(*song)) {
      result = 0;
    } else {
      song->explicitLoop = before;
      chooseLoop(*song);
    }
  });
  return result;
}

bool copyLoop(HGLOBAL songHandle, LoopRestore& out) {
  bool copied = false;
  withLoadedSong(songHandle, [&] {
    Resolved<Song> song(songHandle);
    if (!song || song->loopBlock == 0) return;
    Resolved<LoopRestore> restore(song->loopBlock);
    if (!restore) return;
    out = *restore;
    copied = true;
  });
  return copied;
}

LoopPoints loopInForce(HGLOBAL songHandle) {
  LoopPoints loop{kNoLoop, kNoLoop};
  withLoadedSong(songHandle, [&] {
    Resolved<Song> song(songHandle);
    if (song) loop = {song->loop.startMs, load(song->loop.endMs)};
  });
  return loop;
}

}  // namespace quavr
