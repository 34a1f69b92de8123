#include "song/loop_points.h"

#include <algorithm>

#include "base/block.h"
#include "base/shared_value.h"
#include "include/quavr.h"
#include "song/loop_styles.h"
#include "song/song_registry.h"

namespace quavr {

using namespace platform;

namespace {

bool contains(LoopPoints outer, LoopPoints inner) {
  return outer.startMs <= inner.startMs && inner.endMs <= outer.endMs;
}

// How deep `loop` nests among `taken`: the loops that hold it, and itself.
std::uint32_t depth(const std::vector<FoundLoop>& taken, LoopPoints loop) {
  std::uint32_t holders = 1;
  for (const FoundLoop& t : taken) {
    const bool same = t.points.startMs == loop.startMs && t.points.endMs == loop.endMs;
    holders += !same && contains(t.points, loop) ? 1 : 0;
  }
  return holders;
}

// True when `loop` may join `taken`: it neither repeats nor crosses one, and neither it nor a
// loop inside it nests deeper than a loop may.
bool fits(const std::vector<FoundLoop>& taken, LoopPoints loop) {
  for (const FoundLoop& t : taken) {
    const LoopPoints p = t.points;
    if (p.startMs == loop.startMs && p.endMs == loop.endMs) return false;
    const bool apart = p.endMs <= loop.startMs || loop.endMs <= p.startMs;
    if (!apart && !contains(p, loop) && !contains(loop, p)) return false;
    if (contains(loop, p) && depth(taken, p) + 1 > kMaxLoopDepth) return false;
  }
  return depth(taken, loop) <= kMaxLoopDepth;
}

// The loops the styles set: those of the nesting styles (markers, XMI, EMIDI) together, each
// style's after the earlier ones' and kept where it fits them; without any, the song loop of the
// first other style that marks one.
std::vector<FoundLoop> loopsOfStyles(const Song& song, const LoopMark* marks) {
  std::vector<FoundLoop> taken, found;
  for (const std::uint32_t style : kLoopStyleOrder) {
    if ((song.loopStyles & style) == 0) continue;
    if (!styleNests(style) && !taken.empty()) break;
    found.clear();
    findStyleLoops(style, song.loopStyles, marks, song.markCount, song.lengthMs, found);
    for (const FoundLoop& loop : found) {
      if (taken.size() < kMaxLoops && fits(taken, loop.points)) taken.push_back(loop);
    }
    if (!styleNests(style) && !taken.empty()) break;
  }
  return taken;
}

bool sameLoops(const Song& song, const std::vector<FoundLoop>& loops) {
  if (song.loopCount != loops.size()) return false;
  if (loops.empty()) return true;
  Resolved<LoopEntry> table(song.loopBlock);
  if (!table) return false;
  for (std::uint32_t i = 0; i < song.loopCount; ++i) {
    const LoopEntry& e = table[i];
    const FoundLoop& f = loops[i];
    if (e.restore.loop.startMs != f.points.startMs || e.restore.loop.endMs != f.points.endMs ||
        e.repeats != f.repeats || e.fileCount != f.fileCount || e.style != f.style)
      return false;
  }
  return true;
}

// A new table for the loops, each with the channel state at its start; 0 when a block could not
// be had.
HGLOBAL makeTable(const Song& song, const std::vector<FoundLoop>& loops) {
  const HGLOBAL block =
      GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, loops.size() * sizeof(LoopEntry));
  Resolved<LoopEntry> table(block);
  Resolved<Track> tracks(song.trackTable);
  bool made = table && tracks;
  for (std::size_t i = 0; made && i < loops.size(); ++i) {
    LoopEntry& e = table[i];
    e = {{loops[i].points, {}}, loops[i].repeats, loops[i].fileCount, loops[i].style};
    made = channelStatesAt(tracks.get(), song.trackCount, loops[i].points.startMs,
                           loops[i].points.endMs, e.restore.channels);
  }
  table.reset();
  if (made) return block;
  GlobalFree(block);
  return 0;
}

void setTrackFlags(Song& song) {
  Resolved<Track> tracks(song.trackTable);
  Resolved<LoopMark> marks(song.markBlock);
  if (!tracks) return;
  for (std::uint32_t t = 0; t < song.trackCount; ++t) {
    store(tracks[t].flags, trackFlags(t, song.loopStyles, marks.get(), song.markCount));
  }
}

// What the loops in force are chosen from: the host's points and styles, and what stays while
// the song is loaded (its marks, tracks and length), copied from the record.
Song loopSourceOf(const Song& song) {
  Song source{};
  source.loopStyles = song.loopStyles;
  source.explicitLoop = song.explicitLoop;
  source.markBlock = song.markBlock;
  source.markCount = song.markCount;
  source.lengthMs = song.lengthMs;
  source.trackTable = song.trackTable;
  source.trackCount = song.trackCount;
  return source;
}

// The loops a record's points and styles set, with their table: the slow part of a change.
struct ChosenLoops {
  std::vector<FoundLoop> loops;
  std::uint32_t endlessEndMs = 0;
  HGLOBAL table = 0;  // 0: no loop, or no block to be had
};

// Reads only what loopSourceOf copies.
ChosenLoops findChosenLoops(const Song& song) {
  ChosenLoops chosen;
  std::vector<FoundLoop>& loops = chosen.loops;
  Resolved<LoopMark> marks(song.markBlock);
  if (song.explicitLoop.startMs != kNoLoop) {
    loops.push_back({song.explicitLoop, -1, 0, 0});
  } else if (song.markCount != 0 && marks) {
    loops = loopsOfStyles(song, marks.get());
  }
  // By start; of two at one start, the outer first.
  std::sort(loops.begin(), loops.end(), [](const FoundLoop& a, const FoundLoop& b) {
    return a.points.startMs != b.points.startMs ? a.points.startMs < b.points.startMs
                                                : a.points.endMs > b.points.endMs;
  });
  // Past the end of an endless XMI loop nothing plays: there the song ends for its length.
  for (const FoundLoop& l : loops) {
    if (l.style == QUAVR_LOOP_XMI && l.repeats < 0 &&
        (chosen.endlessEndMs == 0 || l.points.endMs < chosen.endlessEndMs)) {
      chosen.endlessEndMs = l.points.endMs;
    }
  }
  if (!loops.empty()) chosen.table = makeTable(song, loops);
  return chosen;
}

// Puts the chosen loops in force, with the record's styles (the table moves into the song or is
// freed). False when the table could not be made; the song's loops then stay as they were.
bool putInForce(Song& song, ChosenLoops& chosen) {
  if (!chosen.loops.empty() && chosen.table == 0) return false;
  setTrackFlags(song);
  song.endlessEndMs = chosen.endlessEndMs;
  if (sameLoops(song, chosen.loops)) {
    GlobalFree(chosen.table);
    return true;
  }
  GlobalFree(song.loopBlock);
  song.loopBlock = chosen.table;
  song.loopCount = static_cast<std::uint32_t>(chosen.loops.size());
  store(song.loopVersion, load(song.loopVersion) + 1);
  return true;
}

// The host changes the loop points or styles: `edit` changes a copy of the record (false:
// refused). The loops are found and their table built from the copy with no lock held, the song
// pinned meanwhile (it is then neither deleted nor another of its collection selected), and put
// in force under the registry's lock: renders and ticks wait for that swap only, as for a seek.
// A change by another thread in between makes this one start again from the new record.
template <class Edit>
std::int32_t changeLoops(HGLOBAL songHandle, Edit&& edit) {
  for (;;) {
    Song before{}, wanted{};
    bool edited = false;
    loadedSongs().visit(songHandle, [&](LoadedSong& entry) {
      Resolved<Song> song(songHandle);
      if (!song) return false;
      before = wanted = loopSourceOf(*song);
      edited = edit(wanted);
      entry.readers += edited ? 1 : 0;
      return false;
    });
    if (!edited) return -1;
    ChosenLoops chosen = findChosenLoops(wanted);
    std::int32_t result = -1;
    bool again = false;
    loadedSongs().visit(songHandle, [&](LoadedSong& entry) {
      --entry.readers;
      Resolved<Song> song(songHandle);
      if (!song) return false;
      again = song->loopStyles != before.loopStyles ||
              song->explicitLoop.startMs != before.explicitLoop.startMs ||
              song->explicitLoop.endMs != before.explicitLoop.endMs;
      if (again) return false;
      song->loopStyles = wanted.loopStyles;
      song->explicitLoop = wanted.explicitLoop;
      if (putInForce(*song, chosen)) {
        result = 0;
      } else {
        song->loopStyles = before.loopStyles;
        song->explicitLoop = before.explicitLoop;
      }
      return false;
    });
    if (result == 0) return 0;
    GlobalFree(chosen.table);
    if (!again) return -1;
  }
}

}  // namespace

bool findLoops(Song& song, const Track* tracks, const std::vector<EventRef>& candidates) {
  song.explicitLoop = {kNoLoop, kNoLoop};
  return noteLoopMarks(song, tracks, candidates);
}

bool chooseLoop(Song& song) {
  ChosenLoops chosen = findChosenLoops(song);
  return putInForce(song, chosen);
}

std::int32_t setLoopStyle(HGLOBAL songHandle, std::uint32_t styles) {
  return changeLoops(songHandle, [&](Song& song) {
    song.loopStyles = styles & knownLoopStyles();
    return true;
  });
}

std::int32_t setLoopPoints(HGLOBAL songHandle, std::uint32_t startMs, std::uint32_t endMs) {
  return changeLoops(songHandle, [&](Song& song) {
    LoopPoints loop{kNoLoop, kNoLoop};
    if (startMs != kNoLoop || endMs != kNoLoop) {
      // An end past the song's end is its end: the clock never gets further.
      const std::uint32_t end = endMs > song.lengthMs ? song.lengthMs : endMs;
      if (startMs >= end || end == kNoLoop) return false;
      loop = {startMs, end};
    }
    song.explicitLoop = loop;
    return true;
  });
}

std::uint32_t copyLoopSpans(HGLOBAL songHandle, LoopSpan* out, std::uint32_t& version) {
  std::uint32_t count = kNoLoop;
  withLoadedSong(songHandle, [&] {
    Resolved<Song> song(songHandle);
    if (!song) return;
    version = load(song->loopVersion);
    Resolved<LoopEntry> table(song->loopBlock);
    count = table ? song->loopCount : 0;
    for (std::uint32_t i = 0; i < count; ++i) {
      const LoopEntry& e = table[i];
      out[i] = {e.restore.loop.startMs, e.restore.loop.endMs, e.repeats, e.style};
    }
  });
  return count;
}

bool copyLoop(HGLOBAL songHandle, std::uint32_t version, std::uint32_t index, LoopRestore& out) {
  bool copied = false;
  withLoadedSong(songHandle, [&] {
    Resolved<Song> song(songHandle);
    if (!song || load(song->loopVersion) != version || index >= song->loopCount) return;
    Resolved<LoopEntry> table(song->loopBlock);
    if (!table) return;
    out = table[index].restore;
    copied = true;
  });
  return copied;
}

}  // namespace quavr
