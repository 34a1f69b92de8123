// quavr-info: what a song holds once Quavr has loaded it, read through the song view.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "include/quavr.h"
#include "platform/common/midi_message.h"
#include "song/song_view.h"
#include "tools/loop_style_names.h"
#include "tools/printable.h"
#include "tools/unreadable.h"

namespace {

using namespace quavr;

const char kUsage[] =
    "Usage: quavr-info [--events | --length] [--song N] FILE\n"
    "Shows what Quavr makes of a song file (a Standard MIDI File, RMID, Extended MIDI, MUS,\n"
    "HMP or HMI): title, copyright, format, timing, tracks with their names, event counts and\n"
    "lengths, tempo changes, markers, lyrics, the loop each convention marks, and the length.\n"
    "\n"
    "  --song N   song N (from 0) of a file that holds several\n"
    "  --events   list every event: track, index, tick, time in ms, kind, bytes\n"
    "  --length   print only the song's length in milliseconds\n"
    "  --help     show this text\n";

const char* kindName(std::uint32_t kind) {
  switch (kind) {
    case kChannelEvent:
      return "channel";
    case kSysexEvent:
      return "sysex";
    case kEscapeEvent:
      return "escape";
    case kMetaEvent:
      return "meta";
    default:
      return "?";
  }
}

// The event's bytes: a channel message's own (its record pads it to 4), all of any other.
std::string hex(const Event& e, const std::uint8_t* bytes) {
  const std::uint32_t length = e.kind == kChannelEvent && e.length != 0
                                   ? std::min(platform::midiMessageLength(bytes[0]), e.length)
                                   : e.length;
  std::string out;
  char byte[4];
  for (std::uint32_t i = 0; i < length; ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
    out += byte;
  }
  return out;
}

std::string clock(std::uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u.%03u", ms / 60000, ms / 1000 % 60, ms % 1000);
  return text;
}

void listEvents(const SongView& song) {
  std::printf("track\tindex\ttick\tms\tkind\tbytes\n");
  for (std::uint32_t t = 0; t < song.tracks().size(); ++t) {
    const TrackView track = song.track(t);
    std::uint32_t i = 0;
    for (const Event& e : track.events()) {
      std::printf("%u\t%u\t%u\t%u\t%s\t%s\n", t, i++, e.tick, e.timeMs, kindName(e.kind),
                  hex(e, track.data() + e.offset).c_str());
    }
  }
}

// A text of the song as it may be shown, or "" when it has none.
std::string songText(QuavrSong song, std::uint32_t kind, std::uint32_t index) {
  const std::int32_t length = bgmGetSongText(song, kind, index, nullptr, 0);
  if (length < 0) return "";
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  bgmGetSongText(song, kind, index, text.data(), static_cast<std::uint32_t>(text.size()));
  text.resize(static_cast<std::size_t>(length));
  return quavr::tools::printable(text);
}

// The loops in force, each with its count as the file writes it (0: forever) and, when several
// styles are enabled, the style that set it.
void describeLoops(QuavrSong song, const char* name, bool withStyle) {
  const std::uint32_t loops = bgmGetSongInfo(song, QUAVR_INFO_LOOPS, 0);
  if (loops == 0) {
    std::printf("  %-8s none\n", name);
    return;
  }
  for (std::uint32_t i = 0; i < loops; ++i) {
    const std::uint32_t start = bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, i);
    std::uint32_t depth = 0;  // the loops before it that hold it
    for (std::uint32_t j = 0; j < i; ++j) {
      depth += bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, j) >=
                           bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, i) &&
                       bgmGetSongInfo(song, QUAVR_INFO_LOOP_START, j) <= start
                   ? 1
                   : 0;
    }
    std::printf(
        "  %-8s %*s%u ms to %u ms, count %u%s%s\n", i == 0 ? name : "", 2 * depth, "", start,
        bgmGetSongInfo(song, QUAVR_INFO_LOOP_END, i),
        bgmGetSongInfo(song, QUAVR_INFO_LOOP_COUNT, i), withStyle ? ", " : "",
        withStyle ? tools::loopStyleName(bgmGetSongInfo(song, QUAVR_INFO_LOOP_STYLE, i)) : "");
  }
}

// The markers with their times, and the loops found under each convention.
void describeMarkersAndLoops(QuavrSong song) {
  const std::uint32_t markers = bgmGetSongInfo(song, QUAVR_INFO_MARKERS, 0);
  std::printf("Markers:   %u\n", markers);
  for (std::uint32_t m = 0; m < markers; ++m) {
    std::printf("  %10u ms: %s\n", bgmGetSongInfo(song, QUAVR_INFO_MARKER_TIME, m),
                songText(song, QUAVR_TEXT_MARKER, m).c_str());
  }
  std::printf("Loops (counts as the file writes them, 0 forever):\n");
  for (const tools::LoopStyleName& style : tools::kLoopStyleNames) {
    bgmSetLoopStyle(song, style.style);
    describeLoops(song, style.name, false);
  }
  // Every style at once: the precedence settles clashes, and each loop says whose it is.
  bgmSetLoopStyle(song, QUAVR_NONE);
  describeLoops(song, "all", true);
  bgmSetLoopStyle(song, 0);
}

const char* formatName(std::uint32_t format) {
  switch (format) {
    case QUAVR_FORMAT_SMF0:
      return "Standard MIDI File, format 0";
    case QUAVR_FORMAT_SMF1:
      return "Standard MIDI File, format 1";
    case QUAVR_FORMAT_SMF2:
      return "Standard MIDI File, format 2";
    case QUAVR_FORMAT_XMI:
      return "Extended MIDI (XMI)";
    case QUAVR_FORMAT_MUS:
      return "MUS";
    case QUAVR_FORMAT_HMP:
      return "HMP";
    case QUAVR_FORMAT_HMI:
      return "HMI";
    default:
      return "?";
  }
}

void describeTiming(const SongView& view) {
  const Song& song = view.song();
  if (song.tickRate != 0) {
    std::printf("Timing:    %u ticks per second, fixed; set-tempo events do not change it\n",
                song.tickRate);
    return;
  }
  std::printf("Division:  %u ticks per quarter note%s\n", song.division,
              song.division >= 0x8000 ? " (a time-code division, counted as ticks)" : "");
  const std::vector<TempoChange> tempos = tempoChanges(view);
  std::printf("Tempo changes: %zu\n", tempos.size());
  for (const TempoChange& c : tempos) {
    std::printf("  tick %10u, %10u ms: %8u us per quarter (%.2f bpm)\n", c.tick, c.timeMs,
                c.usPerQuarter, c.usPerQuarter == 0 ? 0.0 : 60e6 / c.usPerQuarter);
  }
}

void describe(const char* path, QuavrSong handle, const SongView& view) {
  const Song& song = view.song();
  std::printf("File:      %s\n", quavr::tools::printable(path).c_str());
  if (!view.hasTrackTable()) {
    std::printf("Not a song file Quavr knows, or a track chunk is missing: no tracks.\n");
    std::printf("Length:    0 ms\n");
    return;
  }
  std::printf("Title:     %s\n", songText(handle, QUAVR_TEXT_TITLE, 0).c_str());
  std::printf("Copyright: %s\n", songText(handle, QUAVR_TEXT_COPYRIGHT, 0).c_str());
  std::printf("Format:    %u, %s\n", song.format, formatName(song.format));
  if (song.songCount > 1)
    std::printf("Songs:     %u, this is song %u\n", song.songCount, song.songIndex);
  std::printf("Tracks:    %u\n", song.trackCount);
  std::uint32_t t = 0;
  for (const Track& track : view.tracks()) {
    std::printf("  %5u: %8u events, %10u ms  %s\n", t, track.eventCount, track.lengthMs,
                songText(handle, QUAVR_TEXT_TRACK_NAME, t).c_str());
    ++t;
  }
  describeTiming(view);
  describeMarkersAndLoops(handle);
  std::printf("Lyrics:    %u\n", bgmGetSongInfo(handle, QUAVR_INFO_LYRICS, 0));
  std::printf("Length:    %u ms (%s)\n", song.lengthMs, clock(song.lengthMs).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  bool events = false;
  bool lengthOnly = false;
  long songIndex = 0;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (std::strcmp(argv[i], "--events") == 0) {
      events = true;
    } else if (std::strcmp(argv[i], "--length") == 0) {
      lengthOnly = true;
    } else if (std::strcmp(argv[i], "--song") == 0 && i + 1 < argc) {
      char* end = nullptr;
      songIndex = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || songIndex < 0) {
        std::fprintf(stderr, "quavr-info: --song takes a song number from 0\n");
        return 2;
      }
    } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
      std::fprintf(stderr, "quavr-info: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    } else if (path == nullptr) {
      path = argv[i];
    } else {
      std::fprintf(stderr, "quavr-info: one file at a time\n%s", kUsage);
      return 2;
    }
  }
  if (path == nullptr) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const QuavrSong handle = bgmGetSongFile(path);
  if (handle == 0) {
    std::fprintf(stderr, "quavr-info: cannot load %s: %s\n", quavr::tools::printable(path).c_str(),
                 quavr::tools::whyUnreadable(path).c_str());
    return 1;
  }
  if (bgmSelectSong(handle, static_cast<std::uint32_t>(songIndex)) != 0) {
    std::fprintf(stderr, "quavr-info: %s holds no song %ld (songs: %u)\n", path, songIndex,
                 bgmGetSongInfo(handle, QUAVR_INFO_SONGS, 0));
    bgmDeleteSong(handle);
    return 1;
  }
  {
    const SongView song(handle);
    if (lengthOnly) {
      std::printf("%u\n", song.song().lengthMs);
    } else if (events) {
      listEvents(song);
    } else {
      describe(path, handle, song);
    }
  }
  bgmDeleteSong(handle);
  // A full disk or a closed pipe must not pass for a complete listing.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "quavr-info: cannot write standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
