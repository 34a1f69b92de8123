#include "song/song_facts.h"

#include "base/block.h"
#include "include/quavr.h"
#include "platform/common/copy_out.h"
#include "song/loop_points.h"
#include "song/meta_text.h"
#include "song/musical_time.h"
#include "song/song_registry.h"
#include "song/song_walk.h"

namespace quavr {

using namespace platform;

namespace {

constexpr std::uint32_t kNone = 0xFFFFFFFF;

// Calls fn(event, text) for the meta texts of `type` in every track, track by track, until fn
// returns false.
template <class Fn>
void forEachText(const Song& song, const Track* tracks, std::uint8_t type, Fn&& fn) {
  bool more = true;
  for (std::uint32_t t = 0; more && t < song.trackCount; ++t) {
    forEachMetaText(tracks[t], [&](const Event& e, const MetaText& text) {
      if (text.type == type) more = fn(e, text);
      return more;
    });
  }
}

bool startsWithAt(const MetaText& text) {
  return text.size != 0 && text.bytes[0] == '@';
}

// A karaoke song: a text event that begins with '@' (a header line: "@KMIDI KARAOKE FILE", "@T"
// title lines), which makes its other text events lyrics.
bool isKaraoke(const Song& song, const Track* tracks) {
  bool karaoke = false;
  forEachText(song, tracks, kMetaText, [&](const Event&, const MetaText& text) {
    karaoke = startsWithAt(text);
    return !karaoke;
  });
  return karaoke;
}

// Calls fn(event, text) for each lyric, tracks in order, until fn returns false: the lyric
// events, and in a karaoke song the text events that are not header lines.
template <class Fn>
void forEachLyric(const Song& song, const Track* tracks, Fn&& fn) {
  const bool karaoke = isKaraoke(song, tracks);
  bool more = true;
  for (std::uint32_t t = 0; more && t < song.trackCount; ++t) {
    forEachMetaText(tracks[t], [&](const Event& e, const MetaText& text) {
      if (text.type == kMetaLyric || (karaoke && text.type == kMetaText && !startsWithAt(text)))
        more = fn(e, text);
      return more;
    });
  }
}

// The time of the `index`-th of the events fn visits; kNone when there are fewer.
template <class ForEach>
std::uint32_t timeOfNth(std::uint32_t index, ForEach&& forEach) {
  std::uint32_t time = kNone, n = 0;
  forEach([&](const Event& e, const MetaText&) {
    if (n++ == index) time = reportedMs(e.timeMs);
    return time == kNone;
  });
  return time;
}

std::uint32_t countOf(const Song& song, const Track* tracks, std::uint8_t type) {
  std::uint32_t count = 0;
  forEachText(song, tracks, type, [&](const Event&, const MetaText&) { return ++count != kNone; });
  return count;
}

// A fact of loop `index`; a song without loops reports none at index 0, as it always did.
std::uint32_t loopInfo(const Song& song, std::uint32_t what, std::uint32_t index) {
  if (index >= song.loopCount) {
    if (index != 0) return kNone;
    return what == QUAVR_INFO_LOOP_STYLE ? 0 : kNone;
  }
  Resolved<LoopEntry> table(song.loopBlock);
  if (!table) return kNone;
  const LoopEntry& loop = table[index];
  switch (what) {
    case QUAVR_INFO_LOOP_START:
      return loop.restore.loop.startMs;
    case QUAVR_INFO_LOOP_END:
      return loop.restore.loop.endMs;
    case QUAVR_INFO_LOOP_STYLE:
      return loop.style;
    default:
      return loop.fileCount;
  }
}

std::uint32_t to32(std::uint64_t value) {
  return value < kNone ? static_cast<std::uint32_t>(value) : kNone;
}

// A fact of the song's grid or of its branch points.
std::uint32_t gridInfo(const Song& song, std::uint32_t what, std::uint32_t index) {
  if (what >= QUAVR_INFO_BRANCHES && what <= QUAVR_INFO_BRANCH_ID) {
    if (what == QUAVR_INFO_BRANCHES) return song.branchCount;
    Resolved<BranchPoint> branches(index < song.branchCount ? song.branchBlock : 0);
    if (!branches) return kNone;
    return what == QUAVR_INFO_BRANCH_ID ? branches[index].id : branches[index].timeMs;
  }
  const SongGrid grid(song);
  if (!grid) return kNone;
  const std::uint64_t bars = grid.count(GridUnit::Bar);
  // The meters that begin before the song's end; the first always.
  std::uint32_t meters = 1;
  while (meters < grid.meterCount() && grid.meter(meters).tick < song.endTick) ++meters;
  switch (what) {
    case QUAVR_INFO_BARS:
      return to32(bars);
    case QUAVR_INFO_BAR_TIME:
      return index < bars ? grid.timeOf(GridUnit::Bar, index) : kNone;
    case QUAVR_INFO_BEAT_TIME:
      return index < grid.count(GridUnit::Beat) ? grid.timeOf(GridUnit::Beat, index) : kNone;
    case QUAVR_INFO_METER: {
      if (index >= bars) return kNone;
      const MeterSegment& m = grid.meterOfBar(index);
      return m.numerator << 8 | m.denominator | (m.nominal != 0 ? QUAVR_METER_NOMINAL : 0);
    }
    case QUAVR_INFO_METERS:
      return meters;
    default:  // QUAVR_INFO_METER_BAR
      return index < meters ? to32(grid.meter(index).firstBar) : kNone;
  }
}

std::uint32_t info(const Song& song, const Track* tracks, std::uint32_t what, std::uint32_t index) {
  if (what >= QUAVR_INFO_BARS && what <= QUAVR_INFO_METER_BAR) return gridInfo(song, what, index);
  switch (what) {
    case QUAVR_INFO_FORMAT:
      return song.format;
    case QUAVR_INFO_TRACKS:
      return song.trackCount;
    case QUAVR_INFO_DIVISION:
      return song.division;
    case QUAVR_INFO_LENGTH:
      return reportedLength(song);
    case QUAVR_INFO_EVENTS: {
      std::uint32_t events = 0;
      for (std::uint32_t t = 0; t < song.trackCount; ++t) events += tracks[t].eventCount;
      return events;
    }
    case QUAVR_INFO_TRACK_LENGTH:
      return index < song.trackCount ? reportedMs(tracks[index].lengthMs) : kNone;
    case QUAVR_INFO_LOOPS:
      return song.loopCount;
    case QUAVR_INFO_LOOP_START:
    case QUAVR_INFO_LOOP_END:
    case QUAVR_INFO_LOOP_STYLE:
    case QUAVR_INFO_LOOP_COUNT:
      return loopInfo(song, what, index);
    case QUAVR_INFO_MARKERS:
      return countOf(song, tracks, kMetaMarker);
    case QUAVR_INFO_MARKER_TIME:
      return timeOfNth(index, [&](auto&& fn) { forEachText(song, tracks, kMetaMarker, fn); });
    case QUAVR_INFO_SONGS:
      return song.songCount;
    case QUAVR_INFO_LYRICS: {
      std::uint32_t count = 0;
      forEachLyric(song, tracks, [&](const Event&, const MetaText&) { return ++count != kNone; });
      return count;
    }
    case QUAVR_INFO_LYRIC_TIME:
      return timeOfNth(index, [&](auto&& fn) { forEachLyric(song, tracks, fn); });
    case QUAVR_INFO_TICK_RATE:
      return song.tickRate;
    default:
      return kNone;
  }
}

// The `index`-th text of `type`: a track's own for track names, else counted over all tracks.
std::int32_t text(const Song& song, const Track* tracks, std::uint32_t kind, std::uint32_t index,
                  char* buffer, std::uint32_t size) {
  std::uint8_t type;
  switch (kind) {
    case QUAVR_TEXT_TITLE:
      if (song.titleBlock != 0) {
        Resolved<std::uint8_t> title(song.titleBlock);
        return title ? copyOut(title.get(), song.titleSize, buffer, size) : -1;
      }
      if (song.trackCount == 0) return -1;
      type = kMetaTrackName;
      break;
    case QUAVR_TEXT_COPYRIGHT:
      type = kMetaCopyright;
      break;
    case QUAVR_TEXT_TRACK_NAME:
      if (index >= song.trackCount) return -1;
      type = kMetaTrackName;
      break;
    case QUAVR_TEXT_MARKER:
      type = kMetaMarker;
      break;
    case QUAVR_TEXT_LYRIC:
      type = kMetaLyric;
      break;
    default:
      return -1;
  }
  std::int32_t result = -1;
  auto take = [&](const Event&, const MetaText& t) {
    if (index-- != 0) return true;
    result = copyOut(t.bytes, t.size, buffer, size);
    return false;
  };
  if (kind == QUAVR_TEXT_TITLE || kind == QUAVR_TEXT_TRACK_NAME) {
    // The first name of that one track (the first track's is the title).
    const std::uint32_t track = kind == QUAVR_TEXT_TITLE ? 0 : index;
    index = 0;
    forEachMetaText(tracks[track], [&](const Event& e, const MetaText& t) {
      return t.type != type || take(e, t);
    });
  } else if (kind == QUAVR_TEXT_LYRIC) {
    forEachLyric(song, tracks, take);
  } else {
    forEachText(song, tracks, type, take);
  }
  return result;
}

// Runs fn(song, tracks) on a loaded song under the registry's lock; `failure` when there is
// none or its blocks do not resolve.
template <class Result, class Fn>
Result withSongRecords(HGLOBAL handle, Result failure, Fn&& fn) {
  Result result = failure;
  withLoadedSong(handle, [&] {
    Resolved<Song> song(handle);
    if (!song) return;
    Resolved<Track> tracks(song->trackTable);
    if (song->trackCount != 0 && !tracks) return;
    result = fn(*song, tracks.get());
  });
  return result;
}

}  // namespace

std::uint32_t songInfo(HGLOBAL song, std::uint32_t what, std::uint32_t index) {
  if (what == QUAVR_INFO_TEMPO) return songEventTempo(song, index);  // read in the walk's order
  return withSongRecords(song, kNone, [&](const Song& s, const Track* tracks) {
    return info(s, tracks, what, index);
  });
}

std::int32_t songText(HGLOBAL song, std::uint32_t kind, std::uint32_t index, char* buffer,
                      std::uint32_t size) {
  return withSongRecords(song, std::int32_t{-1}, [&](const Song& s, const Track* tracks) {
    return text(s, tracks, kind, index, buffer, size);
  });
}

}  // namespace quavr
