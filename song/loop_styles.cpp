#include "song/loop_styles.h"

#include <algorithm>

#include "include/quavr.h"

namespace quavr {

const std::uint32_t kLoopStyleOrder[kLoopStyleCount] = {
    QUAVR_LOOP_MARKERS,   QUAVR_LOOP_XMI,    QUAVR_LOOP_EMIDI, QUAVR_LOOP_CC116_117,
    QUAVR_LOOP_CC110_111, QUAVR_LOOP_TOUHOU, QUAVR_LOOP_CC111};

std::uint32_t knownLoopStyles() {
  std::uint32_t all = 0;
  for (const std::uint32_t style : kLoopStyleOrder) all |= style;
  return all;
}

namespace {

bool reads(std::uint32_t style, std::uint32_t n) {
  switch (style) {
    case QUAVR_LOOP_XMI:
    case QUAVR_LOOP_CC116_117:
      return n == 116 || n == 117;
    case QUAVR_LOOP_EMIDI:
      return (n >= 110 && n <= 113) || (n >= 116 && n <= 119);
    case QUAVR_LOOP_CC110_111:
      return n == 110 || n == 111;
    case QUAVR_LOOP_TOUHOU:
      return n == 2 || n == 4;
    case QUAVR_LOOP_CC111:
      return n == 111;
    default:
      return false;
  }
}

enum Role { kNone, kStart, kEnd, kBreak };
struct Meaning {
  Role role;
  std::uint32_t stack;  // EMIDI's song loops (1) nest apart from its track loops (0)
  std::uint32_t count;
};

Meaning meaningOf(std::uint32_t style, std::uint32_t styles, const LoopMark& m) {
  if (m.what < 128 && controllerOwner(m.what, styles) != style) return {kNone, 0, 0};
  const std::uint32_t n = m.what;
  switch (style) {
    case QUAVR_LOOP_MARKERS:
      if (n == kTextLoopStart) return {kStart, 0, m.value};
      return {n == kTextLoopEnd ? kEnd : kNone, 0, 0};
    case QUAVR_LOOP_XMI:
      if (n == 116) return {kStart, 0, m.value};
      return {n != 117 ? kNone : m.value >= 64 ? kEnd : kBreak, 0, 0};
    case QUAVR_LOOP_EMIDI:
      if (n == 116 || n == 118) return {kStart, (n - 116) / 2, m.value};
      if ((n == 117 || n == 119) && m.value == 127) return {kEnd, (n - 117) / 2, 0};
      return {kNone, 0, 0};
    case QUAVR_LOOP_CC116_117:
      return {n == 116 ? kStart : n == 117 ? kEnd : kNone, 0, 0};
    case QUAVR_LOOP_CC110_111:
      return {n == 110 ? kStart : n == 111 ? kEnd : kNone, 0, 0};
    case QUAVR_LOOP_TOUHOU:
      if (m.value != 0) return {kNone, 0, 0};
      return {n == 2 ? kStart : n == 4 ? kEnd : kNone, 0, 0};
    case QUAVR_LOOP_CC111:
      return {n == 111 ? kStart : kNone, 0, 0};
    default:
      return {kNone, 0, 0};
  }
}

// Passes after the first: XMI counts every play, EMIDI and markers the repeats; 0 is forever.
std::int32_t repeatsOf(std::uint32_t style, std::uint32_t count) {
  if (count == 0) return -1;
  return static_cast<std::int32_t>(style == QUAVR_LOOP_XMI ? count - 1 : count);
}

void add(std::vector<FoundLoop>& out, std::uint32_t style, std::uint32_t start, std::uint32_t end,
         std::uint32_t count) {
  // An end at 0xFFFFFFFF ms cannot be told from no loop: such a song (49 days) has none there.
  if (start < end && end != kNoLoop)
    out.push_back({{start, end}, repeatsOf(style, count), count, style});
}

// The loops of one stack of a nesting style. Tracks often repeat one another's marks: of the
// marks at one time, those of the track with the most of them stand for all.
void nestLoops(std::uint32_t style, std::uint32_t styles, std::uint32_t stack,
               const LoopMark* marks, std::uint32_t count, std::uint32_t songEnd,
               std::vector<FoundLoop>& out) {
  const auto meaning = [&](const LoopMark& m) {
    const Meaning x = meaningOf(style, styles, m);
    return x.stack == stack ? x : Meaning{kNone, 0, 0};
  };
  bool anyStart = false;
  for (std::uint32_t i = 0; i < count && !anyStart; ++i)
    anyStart = meaning(marks[i]).role == kStart;
  struct Open {
    std::uint32_t startMs, count;
  } open[kMaxLoopDepth];
  std::uint32_t depth = 0, ignored = 0;
  bool strayEndUsed = false;
  for (std::uint32_t i = 0, j; i < count; i = j) {
    // Marks of one time are in track order: the longest run of one track speaks.
    std::uint32_t best = kNoLoop, bestRun = 0, run = 0, runTrack = kNoLoop;
    for (j = i; j < count && marks[j].timeMs == marks[i].timeMs; ++j) {
      if (meaning(marks[j]).role == kNone) continue;
      run = marks[j].track == runTrack ? run + 1 : 1;
      runTrack = marks[j].track;
      if (run > bestRun) bestRun = run, best = runTrack;
    }
    // Of one time's marks, the ends go first: a loop cannot end where it starts, so an end there
    // closes a loop begun before it (a start and an end at one time, in either order, loop from
    // the start to the song's end).
    for (const bool ends : {true, false}) {
      for (std::uint32_t k = i; k < j; ++k) {
        const Meaning m = meaning(marks[k]);
        if (marks[k].track != best || (m.role == kStart) == ends) continue;
        const std::uint32_t time = marks[k].timeMs;
        if (m.role == kStart) {
          if (depth == kMaxLoopDepth) {
            ++ignored;  // deeper than a loop may nest: its end goes with it
          } else {
            open[depth++] = {time, m.count};
          }
        } else if (m.role == kEnd || m.role == kBreak) {
          if (ignored != 0) {
            --ignored;
          } else if (depth != 0) {
            --depth;  // a break leaves the loop without a jump: no loop
            if (m.role == kEnd) add(out, style, open[depth].startMs, time, open[depth].count);
          } else if (m.role == kEnd && !anyStart && !strayEndUsed) {
            // An end with no start anywhere loops from 0.
            const std::size_t before = out.size();
            add(out, style, 0, time, 0);
            strayEndUsed = out.size() != before;
          }
        }
      }
    }
  }
  while (depth != 0) {  // a start without an end loops to the song's end
    --depth;
    add(out, style, open[depth].startMs, songEnd, open[depth].count);
  }
}

// A song loop: the earliest start and the earliest end after it; a start without an end loops to
// the song's end, an end without any start from 0.
void songLoop(std::uint32_t style, std::uint32_t styles, const LoopMark* marks, std::uint32_t count,
              std::uint32_t songEnd, std::vector<FoundLoop>& out) {
  std::uint32_t start = kNoLoop;
  bool anyEnd = false;
  for (std::uint32_t i = 0; i < count; ++i) {
    const Role role = meaningOf(style, styles, marks[i]).role;
    if (role == kStart && start == kNoLoop) start = marks[i].timeMs;
    anyEnd = anyEnd || role == kEnd;
  }
  if (start == kNoLoop && anyEnd) start = 0;
  std::uint32_t end = songEnd;
  for (std::uint32_t i = 0; i < count && end == songEnd; ++i) {
    const LoopMark& m = marks[i];
    if (meaningOf(style, styles, m).role == kEnd && m.timeMs > start && m.timeMs < end)
      end = m.timeMs;
  }
  add(out, style, start, end, 0);
}

}  // namespace

std::uint32_t controllerOwner(std::uint32_t n, std::uint32_t styles) {
  for (const std::uint32_t style : kLoopStyleOrder) {
    if ((styles & style) != 0 && reads(style, n)) return style;
  }
  return 0;
}

bool styleNests(std::uint32_t style) {
  return style == QUAVR_LOOP_MARKERS || style == QUAVR_LOOP_XMI || style == QUAVR_LOOP_EMIDI;
}

void findStyleLoops(std::uint32_t style, std::uint32_t styles, const LoopMark* marks,
                    std::uint32_t count, std::uint32_t songEnd, std::vector<FoundLoop>& out) {
  if (!styleNests(style)) return songLoop(style, styles, marks, count, songEnd, out);
  if (style == QUAVR_LOOP_EMIDI) nestLoops(style, styles, 1, marks, count, songEnd, out);
  nestLoops(style, styles, 0, marks, count, songEnd, out);
}

std::uint32_t trackFlags(std::uint32_t track, std::uint32_t styles, const LoopMark* marks,
                         std::uint32_t count) {
  if ((styles & QUAVR_LOOP_EMIDI) == 0) return 0;
  bool includes = false, included = false, excluded = false;
  for (std::uint32_t i = 0; i < count && marks[i].timeMs == 0; ++i) {
    const LoopMark& m = marks[i];
    if (m.track != track || m.atTrackStart == 0) continue;
    const bool general = m.value == 0 || m.value == 127;
    if (m.what == 110) includes = true, included = included || general;
    if (m.what == 111) excluded = excluded || general;
  }
  const bool silent = excluded || (includes && !included);
  return kTrackEmidi | (silent ? kTrackSilent : 0);
}

}  // namespace quavr
