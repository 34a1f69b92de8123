#include "song/loop_marks.h"

#include <algorithm>
#include <cstring>

#include "base/block.h"

namespace quavr {

using namespace platform;

namespace {

bool startsWith(const MetaText& text, const char* word, std::uint32_t& size) {
  size = static_cast<std::uint32_t>(std::strlen(word));
  if (text.size < size) return false;
  for (std::uint32_t i = 0; i < size; ++i) {
    const auto lower = [](unsigned c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    if (lower(text.bytes[i]) != lower(static_cast<unsigned char>(word[i]))) return false;
  }
  return true;
}

// Copies `items` into a new block at `block`; false when it could not be made.
template <class T>
bool keep(const std::vector<T>& items, HGLOBAL& block, std::uint32_t& count) {
  count = 0;
  if (items.empty()) return true;
  block = GlobalAlloc(GMEM_MOVEABLE, items.size() * sizeof(T));
  Resolved<T> copy(block);
  if (!copy) return false;
  std::memcpy(copy.get(), items.data(), items.size() * sizeof(T));
  count = static_cast<std::uint32_t>(items.size());
  return true;
}

}  // namespace

std::uint32_t loopTextOf(const MetaText& text, std::uint32_t& count) {
  std::uint32_t size = 0;
  count = 0;
  if (startsWith(text, "loopEnd", size)) return text.size == size ? kTextLoopEnd : 0;
  if (!startsWith(text, "loopStart", size)) return 0;
  if (text.size == size) return kTextLoopStart;
  // "=N": digits only; a count past what anyone loops is held at 0xFFFF passes.
  if (text.bytes[size] != '=' || text.size == size + 1) return 0;
  for (std::uint32_t i = size + 1; i < text.size; ++i) {
    if (text.bytes[i] < '0' || text.bytes[i] > '9') return 0;
    count = std::min<std::uint32_t>(count * 10 + (text.bytes[i] - '0'), 0xFFFF);
  }
  return kTextLoopStart;
}

std::uint32_t markerIndex(const Song& song, std::uint32_t track, std::uint32_t index) {
  Resolved<MarkerRef> markers(song.markerBlock);
  if (!markers) return 0xFFFFFFFF;
  const MarkerRef* first = markers.get();
  const MarkerRef* end = first + song.markerCount;
  const MarkerRef* at = std::lower_bound(
      first, end, MarkerRef{track, index}, [](const MarkerRef& a, const MarkerRef& b) {
        return a.track != b.track ? a.track < b.track : a.index < b.index;
      });
  if (at == end || at->track != track || at->index != index) return 0xFFFFFFFF;
  return static_cast<std::uint32_t>(at - first);
}

bool noteLoopMarks(Song& song, const Track* tracks, const std::vector<EventRef>& candidates) {
  std::vector<LoopMark> marks;
  std::vector<MarkerRef> markers;
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
    if (e.kind == kChannelEvent) {
      marks.push_back({e.timeMs, at.track, b[1], b[2], e.tick == 0 ? 1u : 0u});
    } else if (metaTextOf(e, data.get(), text)) {
      if (text.type == kMetaMarker) markers.push_back({at.track, at.index});
      std::uint32_t count = 0;
      const std::uint32_t what = loopTextOf(text, count);
      if (what != 0) marks.push_back({e.timeMs, at.track, what, count, e.tick == 0 ? 1u : 0u});
    }
  }
  events.reset();
  data.reset();
  // The clock's order: by time, and of equal times by track, then as the track has them.
  std::stable_sort(marks.begin(), marks.end(),
                   [](const LoopMark& a, const LoopMark& b) { return a.timeMs < b.timeMs; });
  return keep(marks, song.markBlock, song.markCount) &&
         keep(markers, song.markerBlock, song.markerCount);
}

}  // namespace quavr
