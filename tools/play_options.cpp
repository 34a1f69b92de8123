#include "tools/play_options.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "include/quavr.h"
#include "tools/loop_style_names.h"

namespace quavr::tools {

namespace {

const char kUsage[] =
    "Usage: quavr-play [options] FILE\n"
    "Plays a song file (Standard MIDI File, RMID, Extended MIDI, MUS, HMP or HMI) on a MIDI\n"
    "output device.\n"
    "\n"
    "  --device N|NAME  the device: its number, its name, or a unique part of it (default: 0)\n"
    "  --period MS      the timer period in milliseconds (default: 10)\n"
    "  --repeat         play the song again each time it ends, until stopped\n"
    "  --loop-style S   loop as the file marks it: S is a comma-separated list of markers,\n"
    "                   xmi, emidi, cc116 (CC116/117), cc110 (CC110/111), touhou and cc111;\n"
    "                   where two read one controller, the first in this list does; none\n"
    "                   for no loop (default: the format's own, xmi for Extended MIDI and\n"
    "                   cc110 for HMP and HMI, else none)\n"
    "  --loop A:B       with --repeat, loop from A to B ms (B empty: the song's end)\n"
    "  --loops N        play the outermost loop N more times, then the rest of the song\n"
    "                   (-1: forever; file: every loop as many times as the file says)\n"
    "  --volume P       the music volume in percent, 0-100 (default: 100)\n"
    "  --tempo PERMILLE the speed in permille of the written one, 250-4000 (default: 1000)\n"
    "  --fade-out MS    fade out over the last MS of the song (or of the last pass)\n"
    "  --start MS       start playing MS into the song, its state there sent first\n"
    "  --offline        play as fast as the machine allows: virtual time, with the same ticks;\n"
    "                   Quavr Synth renders sample-exact through a render device\n"
    "  --rate HZ        with --offline, the rate Quavr Synth renders at, 8000-192000\n"
    "                   (default: 48000)\n"
    "  --log FILE       the monitor device writes its log to FILE\n"
    "  --wav FILE       the synthesizer renders into FILE instead of playing aloud\n"
    "                   (WAV, RF64 past 4 GiB, FLAC when FILE ends in .flac)\n"
    "  --next FILE      queue FILE to follow the song at the --at boundary: on a terminal when\n"
    "                   n is pressed, else once the song has begun; ends when FILE ends\n"
    "  --at WHEN        the boundary: now, beat, bar, beat/N or bar/N (every N-th, counted\n"
    "                   from bar 0), marker, marker:I (marker I only), loop-end or end\n"
    "                   (default: bar)\n"
    "  --entry MS|same  where FILE begins: at MS, or at the boundary's bar and beat\n"
    "                   (default: 0)\n"
    "  --ring           the song's sounding notes ring to their written end at the switch\n"
    "                   instead of being cut\n"
    "  --fade-in MS     FILE rises from silence over MS, 1-65535\n"
    "  --list           list the devices with their numbers, then exit\n"
    "  --help           show this text\n"
    "\n"
    "On a terminal: space pauses and resumes, q stops; up and down change the volume, left and\n"
    "right seek 5 s back and forward, [ and ] change the tempo, f fades out over 3 s and stops;\n"
    "the digits 1-9 and 0 mute and unmute channels 1-10; n queues the --next file.\n";

// An output file that is the song itself would be truncated before the song is read.
void refuseTheSong(const PlayOptions& o, const std::string& option, const std::string& path) {
  std::error_code error;
  if (!path.empty() && std::filesystem::equivalent(path, o.file, error)) {
    fail(option + " " + path + " is the song being played; it would be overwritten", 2);
  }
}

std::uint32_t parseLoopStyles(const std::string& text) {
  std::uint32_t styles = 0;
  if (text == "none") return styles;
  std::size_t at = 0;
  for (;;) {
    const std::size_t comma = text.find(',', at);
    const std::string name = text.substr(at, comma == std::string::npos ? comma : comma - at);
    const std::uint32_t style = loopStyleOf(name);
    if (style == 0) {
      fail(
          "--loop-style takes markers, xmi, emidi, cc116, cc110, touhou and cc111, separated by "
          "commas, or none",
          2);
    }
    styles |= style;
    if (comma == std::string::npos) return styles;
    at = comma + 1;
  }
}

// A whole number of `option` within [low, high]; `otherwise` names what else it takes.
long long wholeNumber(const std::string& option, const std::string& text, long long low,
                      long long high, const std::string& otherwise = "") {
  char* end = nullptr;
  const long long n = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || n < low || n > high) {
    fail(option + " takes a number from " + std::to_string(low) + " to " + std::to_string(high) +
             otherwise + ", not \"" + text + "\"",
         2);
  }
  return n;
}

void parseLoopPoints(const std::string& text, std::uint32_t& start, std::uint32_t& end) {
  const std::size_t colon = text.find(':');
  const auto number = [&](const std::string& digits, std::uint32_t& out) {
    char* stop = nullptr;
    const unsigned long ms = std::strtoul(digits.c_str(), &stop, 10);
    if (digits.empty() || !std::isdigit(static_cast<unsigned char>(digits[0])) || *stop != '\0' ||
        ms >= 0xFFFFFFFFul)
      fail("--loop takes START:END in milliseconds", 2);
    out = static_cast<std::uint32_t>(ms);
  };
  if (colon == std::string::npos) fail("--loop takes START:END in milliseconds", 2);
  number(text.substr(0, colon), start);
  if (colon + 1 < text.size()) number(text.substr(colon + 1), end);
}

// A whole number of at most five digits (no sign, no space) within [low, high].
std::optional<std::uint32_t> smallNumber(const std::string& digits, std::uint32_t low,
                                         std::uint32_t high) {
  if (digits.empty() || digits.size() > 5 ||
      digits.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const auto n = static_cast<std::uint32_t>(std::stoul(digits));
  if (n < low || n > high) return std::nullopt;
  return n;
}

}  // namespace

std::optional<std::uint32_t> parseWhen(const std::string& text) {
  static const struct {
    const char* name;
    std::uint32_t kind;
  } kKinds[] = {{"now", QUAVR_AT_NOW},           {"beat", QUAVR_AT_BEAT},
                {"bar", QUAVR_AT_BAR},           {"marker", QUAVR_AT_MARKER},
                {"loop-end", QUAVR_AT_LOOP_END}, {"end", QUAVR_AT_END}};
  const std::size_t cut = text.find_first_of("/:");
  const std::string name = text.substr(0, cut);
  const std::string rest = cut == std::string::npos ? "" : text.substr(cut + 1);
  for (const auto& k : kKinds) {
    if (name != k.name) continue;
    if (cut == std::string::npos) return k.kind;
    const bool grid = k.kind == QUAVR_AT_BEAT || k.kind == QUAVR_AT_BAR;
    if (text[cut] == '/' && grid) {
      const auto n = smallNumber(rest, 1, 255);
      if (n) return k.kind == QUAVR_AT_BAR ? QUAVR_AT_BARS(*n) : QUAVR_AT_BEATS(*n);
    } else if (text[cut] == ':' && k.kind == QUAVR_AT_MARKER) {
      const auto index = smallNumber(rest, 0, 65534);  // from 0, as QUAVR_TEXT_MARKER counts
      if (index) return QUAVR_AT_MARKER_INDEX(*index);
    }
    return std::nullopt;
  }
  return std::nullopt;
}

void fail(const std::string& message, int status) {
  std::fprintf(stderr, "quavr-play: %s\n", message.c_str());
  std::exit(status);
}

PlayOptions parsePlayOptions(int argc, char** argv) {
  PlayOptions o;
  bool atGiven = false;
  bool nextOnlyGiven = false;  // --entry, --ring, --fade-in
  auto value = [&](int& i) -> std::string {
    if (i + 1 >= argc) fail(std::string(argv[i]) + " needs a value\n" + kUsage, 2);
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(std::fflush(stdout) == 0 ? 0 : 1);
    } else if (arg == "--device") {
      o.device = value(i);
    } else if (arg == "--period") {
      const std::string text = value(i);
      char* end = nullptr;
      const unsigned long long period = std::strtoull(text.c_str(), &end, 10);
      if (text.empty() || text[0] == '-' || *end != '\0' || period > 0xFFFFFFFFull)
        fail("--period takes milliseconds", 2);
      o.period = static_cast<std::uint32_t>(period);
    } else if (arg == "--repeat") {
      o.repeat = true;
    } else if (arg == "--loop-style") {
      o.loopStyles = parseLoopStyles(value(i));
    } else if (arg == "--loop") {
      parseLoopPoints(value(i), o.loopStart, o.loopEnd);
    } else if (arg == "--loops") {
      const std::string count = value(i);
      o.loops = count == "file" ? QUAVR_LOOP_AS_FILE
                                : static_cast<std::int32_t>(wholeNumber(arg, count, -1, 0x7FFFFFFF,
                                                                        " (-1: forever), or file"));
    } else if (arg == "--volume") {
      o.volume = static_cast<std::uint32_t>(wholeNumber(arg, value(i), 0, 100));
    } else if (arg == "--tempo") {
      o.tempo = static_cast<std::uint32_t>(wholeNumber(arg, value(i), 250, 4000));
    } else if (arg == "--fade-out") {
      o.fadeOutMs = static_cast<std::uint32_t>(wholeNumber(arg, value(i), 0, 0xFFFFFFFE));
    } else if (arg == "--start") {
      o.startMs = static_cast<std::uint32_t>(wholeNumber(arg, value(i), 0, 0xFFFFFFFE));
    } else if (arg == "--rate") {
      o.rate = static_cast<std::uint32_t>(wholeNumber(arg, value(i), 8000, 192000));
      o.rateGiven = true;
    } else if (arg == "--offline") {
      o.offline = true;
    } else if (arg == "--log") {
      o.log = value(i);
    } else if (arg == "--wav") {
      o.wav = value(i);
    } else if (arg == "--list") {
      o.list = true;
    } else if (arg == "--next") {
      o.next = value(i);
    } else if (arg == "--at") {
      const std::string text = value(i);
      const auto when = parseWhen(text);
      if (!when) {
        fail(
            "--at takes now, beat, bar, beat/N, bar/N (N 1-255), marker, marker:I, loop-end or "
            "end, not \"" +
                text + "\"",
            2);
      }
      o.when = *when;
      atGiven = true;
    } else if (arg == "--entry") {
      const std::string text = value(i);
      o.entryMs =
          text == "same"
              ? QUAVR_NONE
              : static_cast<std::uint32_t>(wholeNumber(arg, text, 0, 0xFFFFFFFE, ", or same"));
      nextOnlyGiven = true;
    } else if (arg == "--ring") {
      o.nextFlags |= QUAVR_TAIL_RING;
      nextOnlyGiven = true;
    } else if (arg == "--fade-in") {
      o.nextFlags =
          (o.nextFlags & QUAVR_TAIL_RING) | QUAVR_FADE_IN(wholeNumber(arg, value(i), 1, 65535));
      nextOnlyGiven = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      fail("unknown option " + arg + "\n" + kUsage, 2);
    } else if (o.file.empty()) {
      o.file = arg;
    } else {
      fail("one file at a time", 2);
    }
  }
  if (!o.list && o.file.empty()) fail(std::string("no file to play\n") + kUsage, 2);
  if (o.offline && o.repeat) fail("--offline with --repeat would never end", 2);
  if (o.offline && o.loops == -1) fail("--offline with --loops -1 would never end", 2);
  if (o.rateGiven && !o.offline) fail("--rate is for --offline rendering", 2);
  if (o.next.empty() && (atGiven || nextOnlyGiven))
    fail("--at, --entry, --ring and --fade-in are for --next", 2);
  // The fade is set at a time of the song playing, which the next song would not share.
  if (!o.next.empty() && o.fadeOutMs != 0) fail("--fade-out cannot be combined with --next", 2);
  refuseTheSong(o, "--wav", o.wav);
  refuseTheSong(o, "--log", o.log);
  return o;
}

}  // namespace quavr::tools
