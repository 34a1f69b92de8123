// quavr-info: what a song holds once Quavr has loaded it, read through the public API alone.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "include/quavr.h"
#include "tools/decimal.h"
#include "tools/loop_style_names.h"
#include "tools/printable.h"
#include "tools/unreadable.h"

namespace {

using namespace quavr;

// The song's events as a device sends them, each with its number in that order.
struct Walked {
  std::uint32_t position;
  QuavrSongEvent event;
};

const char kUsage[] =
    "Usage: quavr-info [--events | --length] [--song N] FILE\n"
    "Shows what Quavr makes of a song file (a Standard MIDI File, RMID, Extended MIDI, MUS,\n"
    "HMP or HMI): title, copyright, format, timing, tracks with their names, event counts and\n"
    "lengths, tempo changes, the meter map and bars, markers, lyrics, the loop each convention\n"
    "marks, and the length.\n"
    "\n"
    "  --song N   song N (from 0) of a file that holds several\n"
    "  --events   list every event: track, index, tick, time in ms, kind, bytes\n"
    "  --length   print only the song's length in milliseconds\n"
    "  --help     show this text\n";

// A short message: a channel message, or a system message stored as one.
bool isShort(std::uint8_t status) {
  return status != 0xF0 && status != 0xF7 && status != 0xFF;
}

const char* kindName(std::uint8_t status) {
  switch (status) {
    case 0xF0:
      return "sysex";
    case 0xF7:
      return "escape";
    case 0xFF:
      return "meta";
    default:
      return "channel";
  }
}

void addHex(std::string& out, std::uint8_t byte) {
  char text[4];
  std::snprintf(text, sizeof text, out.empty() ? "%02X" : " %02X", byte);
  out += text;
}

// The event's bytes as the file has them: a channel message's own; F0 and a system-exclusive
// event's data; an escape's data; FF, the type, the length (a variable-length quantity, in its
// shortest form) and a meta event's data.
std::string hex(QuavrSong song, const Walked& walked) {
  const QuavrSongEvent& e = walked.event;
  std::string out;
  if (isShort(e.status)) {
    const std::uint8_t bytes[3] = {e.status, e.data[0], e.data[1]};
    for (std::uint32_t i = 0; i < e.length; ++i) addHex(out, bytes[i]);
    return out;
  }
  if (e.status != 0xF7) addHex(out, e.status);
  if (e.status == 0xFF) {
    addHex(out, e.type);
    for (int shift = 28; shift > 0; shift -= 7) {
      if (e.length >> shift != 0)
        addHex(out, static_cast<std::uint8_t>(0x80 | (e.length >> shift & 0x7F)));
    }
    addHex(out, e.length & 0x7F);
  }
  if (e.length == 0) return out;
  std::vector<std::uint8_t> data(e.length + std::size_t{1});
  bgmGetSongEventData(song, walked.position, data.data(), static_cast<std::uint32_t>(data.size()));
  for (std::uint32_t i = 0; i < e.length; ++i) addHex(out, data[i]);
  return out;
}

std::string clock(std::uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u.%03u", ms / 60000, ms / 1000 % 60, ms % 1000);
  return text;
}

// The song's events track by track, each track's in its order: how many, and those `keep` takes.
struct ByTrack {
  std::vector<std::uint32_t> counts;
  std::vector<std::vector<Walked>> kept;
};

// False when the song's order could not be made.
template <class Keep>
bool walkByTrack(QuavrSong song, Keep&& keep, ByTrack& tracks) {
  const std::uint32_t count = bgmGetSongInfo(song, QUAVR_INFO_TRACKS, 0);
  tracks.counts.assign(count, 0);
  tracks.kept.resize(count);
  std::vector<QuavrSongEvent> chunk(4096);
  for (std::uint32_t first = 0;;) {
    const std::int32_t got =
        bgmGetSongEvents(song, first, chunk.data(), static_cast<std::uint32_t>(chunk.size()));
    if (got <= 0) return got == 0;
    for (std::int32_t i = 0; i < got; ++i, ++first) {
      const QuavrSongEvent& e = chunk[static_cast<std::size_t>(i)];
      ++tracks.counts[e.track];
      if (keep(e)) tracks.kept[e.track].push_back({first, e});
    }
  }
}

void listEvents(QuavrSong song, const ByTrack& tracks) {
  std::printf("track\tindex\ttick\tms\tkind\tbytes\n");
  for (const std::vector<Walked>& track : tracks.kept) {
    std::uint32_t index = 0;
    for (const Walked& w : track) {
      std::printf("%u\t%u\t%u\t%u\t%s\t%s\n", w.event.track, index++, w.event.tick, w.event.timeMs,
                  kindName(w.event.status), hex(song, w).c_str());
    }
  }
}

bool isSetTempo(const QuavrSongEvent& e) {
  return e.status == 0xFF && e.type == 0x51;
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

void describeTiming(QuavrSong song, const ByTrack& tracks) {
  const std::uint32_t tickRate = bgmGetSongInfo(song, QUAVR_INFO_TICK_RATE, 0);
  if (tickRate != 0) {
    std::printf("Timing:    %u ticks per second, fixed; set-tempo events do not change it\n",
                tickRate);
    return;
  }
  const std::uint32_t division = bgmGetSongInfo(song, QUAVR_INFO_DIVISION, 0);
  std::printf("Division:  %u ticks per quarter note%s\n", division,
              division >= 0x8000 ? " (a time-code division, counted as ticks)" : "");
  // Every set-tempo event the timing used, track by track, with the tempo it took.
  std::size_t tempos = 0;
  for (const std::vector<Walked>& track : tracks.kept) tempos += track.size();
  std::printf("Tempo changes: %zu\n", tempos);
  for (const std::vector<Walked>& track : tracks.kept) {
    for (const Walked& w : track) {
      const std::uint32_t us = bgmGetSongInfo(song, QUAVR_INFO_TEMPO, w.position);
      std::printf("  tick %10u, %10u ms: %8u us per quarter (%.2f bpm)\n", w.event.tick,
                  w.event.timeMs, us, us == 0 ? 0.0 : 60e6 / us);
    }
  }
}

// The beats of bar `bar` (from 0), counted on the beat grid from beat `cursor`, which moves on to
// the next bar's first beat.
std::uint32_t beatsOfBar(QuavrSong song, std::uint32_t bar, std::uint32_t& cursor) {
  const std::uint32_t end = bgmGetSongInfo(song, QUAVR_INFO_BAR_TIME, bar + 1);
  std::uint32_t beats = 0;
  for (; bgmGetSongInfo(song, QUAVR_INFO_BEAT_TIME, cursor) < end; ++cursor) ++beats;
  return beats;
}

// The meter map: each meter with the bar it begins and that bar's time, and whether it cut the
// bar before it short (a change in mid-bar); then the bar count.
void describeMeters(QuavrSong song) {
  const std::uint32_t meters = bgmGetSongInfo(song, QUAVR_INFO_METERS, 0);
  if (meters == QUAVR_NONE) return;
  std::printf("Meters:    %u\n", meters);
  std::uint32_t beat = 0;
  for (std::uint32_t m = 0, walked = 0; m < meters; ++m) {
    const std::uint32_t bar = bgmGetSongInfo(song, QUAVR_INFO_METER_BAR, m);
    const std::uint32_t meter = bgmGetSongInfo(song, QUAVR_INFO_METER, bar);
    std::string cut;
    for (; bar != 0 && walked < bar; ++walked) {
      const std::uint32_t beats = beatsOfBar(song, walked, beat);
      const std::uint32_t full =
          QUAVR_METER_NUMERATOR(bgmGetSongInfo(song, QUAVR_INFO_METER, walked));
      if (walked + 1 == bar && beats < full)
        cut = ", mid-bar: bar " + std::to_string(walked) + " has " + std::to_string(beats) +
              " of " + std::to_string(full) + " beats";
    }
    std::printf(
        "  bar %6u, %10u ms: %u/%u%s%s\n", bar, bgmGetSongInfo(song, QUAVR_INFO_BAR_TIME, bar),
        QUAVR_METER_NUMERATOR(meter), QUAVR_METER_DENOMINATOR(meter),
        (meter & QUAVR_METER_NOMINAL) != 0 ? " nominal (the file gives none)" : "", cut.c_str());
  }
  std::printf("Bars:      %u\n", bgmGetSongInfo(song, QUAVR_INFO_BARS, 0));
}

// The song's length: the file's, whatever loop a style would end it at.
std::uint32_t fileLength(QuavrSong song) {
  bgmSetLoopStyle(song, 0);
  return bgmGetSongInfo(song, QUAVR_INFO_LENGTH, 0);
}

void describe(const char* path, QuavrSong song, std::uint32_t songIndex, const ByTrack& tracks) {
  std::printf("File:      %s\n", quavr::tools::printable(path).c_str());
  if (tracks.counts.empty()) {
    std::printf(
        "No tracks: not a song file Quavr knows, a track chunk is missing, or it has none.\n");
    std::printf("Length:    0 ms\n");
    return;
  }
  std::printf("Title:     %s\n", songText(song, QUAVR_TEXT_TITLE, 0).c_str());
  std::printf("Copyright: %s\n", songText(song, QUAVR_TEXT_COPYRIGHT, 0).c_str());
  const std::uint32_t format = bgmGetSongInfo(song, QUAVR_INFO_FORMAT, 0);
  std::printf("Format:    %u, %s\n", format, formatName(format));
  const std::uint32_t songs = bgmGetSongInfo(song, QUAVR_INFO_SONGS, 0);
  if (songs > 1) std::printf("Songs:     %u, this is song %u\n", songs, songIndex);
  std::printf("Tracks:    %zu\n", tracks.counts.size());
  for (std::uint32_t t = 0; t < tracks.counts.size(); ++t) {
    std::printf("  %5u: %8u events, %10u ms  %s\n", t, tracks.counts[t],
                bgmGetSongInfo(song, QUAVR_INFO_TRACK_LENGTH, t),
                songText(song, QUAVR_TEXT_TRACK_NAME, t).c_str());
  }
  describeTiming(song, tracks);
  describeMeters(song);
  describeMarkersAndLoops(song);
  std::printf("Lyrics:    %u\n", bgmGetSongInfo(song, QUAVR_INFO_LYRICS, 0));
  const std::uint32_t length = fileLength(song);
  std::printf("Length:    %u ms (%s)\n", length, clock(length).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  bool events = false;
  bool lengthOnly = false;
  std::uint32_t songIndex = 0;
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
      const auto number = quavr::tools::parseDecimal(argv[++i]);
      if (!number) {
        std::fprintf(stderr, "quavr-info: --song takes a song number from 0 to 4294967295\n");
        return 2;
      }
      songIndex = *number;
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
  if (bgmSelectSong(handle, songIndex) != 0) {
    std::fprintf(stderr, "quavr-info: %s holds no song %u (songs: %u)\n", path, songIndex,
                 bgmGetSongInfo(handle, QUAVR_INFO_SONGS, 0));
    bgmDeleteSong(handle);
    return 1;
  }
  ByTrack tracks;
  const auto keep = [&](const QuavrSongEvent& e) { return events || isSetTempo(e); };
  if (!lengthOnly && !walkByTrack(handle, keep, tracks)) {
    std::fprintf(stderr, "quavr-info: not enough memory for the events of %s\n",
                 quavr::tools::printable(path).c_str());
    bgmDeleteSong(handle);
    return 1;
  }
  if (lengthOnly) {
    std::printf("%u\n", fileLength(handle));
  } else if (events) {
    listEvents(handle, tracks);
  } else {
    describe(path, handle, songIndex, tracks);
  }
  bgmDeleteSong(handle);
  // A full disk or a closed pipe must not pass for a complete listing.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "quavr-info: cannot write standard output: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}
