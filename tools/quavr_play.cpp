// quavr-play: plays a Standard MIDI File on an output device through the public API, as a host
// application would. Beyond the API it asks the platform's introspection header for two things a
// host has no call for: the devices' names (to list them and find one by name) and the timer's
// clock (to show the song's progress, in virtual time too).
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "include/quavr.h"
#include "platform/introspection.h"
#include "tools/unreadable.h"

namespace {

const char kUsage[] =
    "Usage: quavr-play [options] FILE\n"
    "Plays a Standard MIDI File on a MIDI output device.\n"
    "\n"
    "  --device N|NAME  the device: its number, or a unique part of its name (default: 0)\n"
    "  --period MS      the timer period in milliseconds (default: 10)\n"
    "  --repeat         play the song again each time it ends, until stopped\n"
    "  --loop-style S   with --repeat, loop as the file marks it: S is a comma-separated list of\n"
    "                   markers, cc116 (CC116/117) and cc111; markers decide first, then cc116\n"
    "  --loop A:B       with --repeat, loop from A to B ms (B empty: the song's end)\n"
    "  --offline        virtual time: play as fast as the machine allows, with the same ticks\n"
    "  --log FILE       the monitor device writes its log to FILE\n"
    "  --wav FILE       the synthesizer renders into FILE instead of playing aloud\n"
    "  --list           list the devices with their numbers, then exit\n"
    "  --help           show this text\n"
    "\n"
    "On a terminal: space pauses and resumes, q stops.\n";

std::atomic<int> gSignal{0};
extern "C" void onSignal(int number) {
  gSignal = number;
}

struct Options {
  std::string device = "0";
  std::uint32_t period = 10;
  bool repeat = false;
  bool offline = false;
  bool list = false;
  std::uint32_t loopStyles = 0;
  std::uint32_t loopStart = QUAVR_NONE;
  std::uint32_t loopEnd = QUAVR_NONE;
  std::string log;
  std::string wav;
  std::string file;
};

[[noreturn]] void fail(const std::string& message, int status = 1) {
  std::fprintf(stderr, "quavr-play: %s\n", message.c_str());
  std::exit(status);
}

std::uint32_t parseLoopStyles(const std::string& text) {
  std::uint32_t styles = 0;
  std::size_t at = 0;
  for (;;) {
    const std::size_t comma = text.find(',', at);
    const std::string name = text.substr(at, comma == std::string::npos ? comma : comma - at);
    if (name == "markers") {
      styles |= QUAVR_LOOP_MARKERS;
    } else if (name == "cc111") {
      styles |= QUAVR_LOOP_CC111;
    } else if (name == "cc116" || name == "cc116_117") {
      styles |= QUAVR_LOOP_CC116_117;
    } else {
      fail("--loop-style takes markers, cc111 and cc116, separated by commas", 2);
    }
    if (comma == std::string::npos) return styles;
    at = comma + 1;
  }
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

Options parse(int argc, char** argv) {
  Options o;
  auto value = [&](int& i) -> std::string {
    if (i + 1 >= argc) fail(std::string(argv[i]) + " needs a value\n" + kUsage, 2);
    return argv[++i];
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    } else if (arg == "--device") {
      o.device = value(i);
    } else if (arg == "--period") {
      const std::string text = value(i);
      char* end = nullptr;
      const unsigned long period = std::strtoul(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || period > 0xFFFFFFFFul)
        fail("--period takes milliseconds", 2);
      o.period = static_cast<std::uint32_t>(period);
    } else if (arg == "--repeat") {
      o.repeat = true;
    } else if (arg == "--loop-style") {
      o.loopStyles = parseLoopStyles(value(i));
    } else if (arg == "--loop") {
      parseLoopPoints(value(i), o.loopStart, o.loopEnd);
    } else if (arg == "--offline") {
      o.offline = true;
    } else if (arg == "--log") {
      o.log = value(i);
    } else if (arg == "--wav") {
      o.wav = value(i);
    } else if (arg == "--list") {
      o.list = true;
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
  return o;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A device number, from a number or from a unique part of a device's name.
std::uint32_t findDevice(const std::string& wanted, const std::vector<std::string>& names) {
  if (!wanted.empty() && std::all_of(wanted.begin(), wanted.end(), ::isdigit)) {
    return static_cast<std::uint32_t>(std::strtoul(wanted.c_str(), nullptr, 10));
  }
  std::vector<std::uint32_t> matches;
  for (std::uint32_t i = 0; i < names.size(); ++i) {
    if (lower(names[i]).find(lower(wanted)) != std::string::npos) matches.push_back(i);
  }
  if (matches.size() == 1) return matches[0];
  fail((matches.empty() ? "no device is called \"" : "more than one device matches \"") + wanted +
       "\"; quavr-play --list shows them");
}

std::string midiErrorText() {
  char text[256];
  bgmGetMidiErrorText(text, sizeof text);
  return text;
}

std::string clock(std::uint32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%u:%02u", ms / 60000, ms / 1000 % 60);
  return text;
}

// The terminal in single-key mode for as long as this lives.
class Keys {
 public:
  Keys() : active_(isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!active_) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  ~Keys() {
    if (active_) tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  // The key pressed within `ms` milliseconds, or 0.
  char wait(int ms) {
    if (!active_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      return 0;
    }
    pollfd in{STDIN_FILENO, POLLIN, 0};
    char key = 0;
    if (poll(&in, 1, ms) > 0 && read(STDIN_FILENO, &key, 1) != 1) key = 0;
    return key;
  }

 private:
  termios saved_{};
  bool active_;
};

void progress(std::uint32_t elapsed, std::uint32_t length, bool paused) {
  constexpr int kWidth = 30;
  const int filled = length == 0 ? 0
                                 : static_cast<int>(std::min<std::uint64_t>(
                                       kWidth, std::uint64_t{elapsed} * kWidth / length));
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kWidth, '-');
  std::fprintf(stdout, "\r  %s / %s [%s]%s\x1b[K", clock(elapsed).c_str(), clock(length).c_str(),
               bar.c_str(), paused ? "  paused" : "");
  std::fflush(stdout);
}

// The library reads these when it first needs them, so they go in before any call.
void configureLibrary(const Options& options) {
  if (options.offline) setenv("QUAVR_TIMER", "virtual", 1);
  if (!options.log.empty()) setenv("QUAVR_MONITOR_LOG", options.log.c_str(), 1);
  if (!options.wav.empty()) setenv("QUAVR_WAV", options.wav.c_str(), 1);
}

void catchSignals() {
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// Plays until the song ends, a key or a signal stops it; the exit status.
int watch(QuavrDevice device, const Options& options, const std::string& deviceName,
          std::uint32_t length) {
  // The monitor writing to this terminal would garble a progress line.
  const bool monitorOnTerminal = deviceName == "Quavr Monitor" && options.log.empty() &&
                                 std::getenv("QUAVR_MONITOR_LOG") == nullptr;
  const bool showProgress = isatty(STDOUT_FILENO) && !monitorOnTerminal && !options.offline;
  if (isatty(STDOUT_FILENO)) {
    std::printf("Playing %s on %s%s\n", options.file.c_str(), deviceName.c_str(),
                options.repeat ? ", repeating" : "");
  }
  Keys keys;
  // Song time: the timer's clock, which is virtual time when offline.
  using quavr::platform::posix::nowNs;
  std::int64_t played = 0;
  std::int64_t since = nowNs();
  bool paused = false;
  int status = 0;
  while (bgmBgmStatus(device) != Idle) {
    const char key = keys.wait(options.offline ? 1 : 50);
    const std::int64_t now = nowNs();
    const auto ms = static_cast<std::uint32_t>((played + (paused ? 0 : now - since)) / 1000000);
    if (gSignal != 0) {
      status = 128 + gSignal;
      break;
    }
    if (key == 'q' || key == 'Q') break;
    if (key == ' ') {
      paused = bgmPause(device) == Paused;
      if (paused) played += now - since;
      since = now;
    }
    if (!options.repeat && !paused && ms > length + 1000) {
      if (showProgress) std::printf("\n");
      std::fprintf(stderr, "quavr-play: the song does not end (it has no tracks); stopped\n");
      break;
    }
    if (showProgress)
      progress(length == 0 ? ms : (options.repeat ? ms % length : std::min(ms, length)), length,
               paused);
  }
  if (showProgress) std::printf("\n");
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parse(argc, argv);
  configureLibrary(options);
  const std::vector<std::string> names = quavr::platform::posix::deviceNames();
  if (options.list) {
    for (std::size_t i = 0; i < names.size(); ++i) std::printf("%zu  %s\n", i, names[i].c_str());
    return 0;
  }
  const std::uint32_t deviceId = findDevice(options.device, names);
  const std::string deviceName = deviceId < names.size() ? names[deviceId] : "no such device";

  // The song first: a file that cannot be read should not open (or start rendering) a device.
  const QuavrSong song = bgmGetSongFile(options.file.c_str());
  if (song == 0)
    fail("cannot load " + options.file + ": " + quavr::tools::whyUnreadable(options.file));
  const QuavrDevice device = bgmOpenMidiDev(deviceId, options.period);
  if (device == 0) {
    bgmDeleteSong(song);
    fail("cannot open device " + std::to_string(deviceId) + " (" + deviceName +
         "): " + midiErrorText());
  }
  bgmSetRepeat(device, options.repeat ? 1 : 0);
  bgmSetLoopStyle(song, options.loopStyles);
  if (options.loopStart != QUAVR_NONE &&
      bgmSetLoopPoints(song, options.loopStart, options.loopEnd) != 0)
    std::fprintf(stderr, "quavr-play: --loop: the start is not before the end; no loop\n");
  catchSignals();
  bgmPlay(device, song);
  int status = 1;
  if (bgmBgmStatus(device) == Playing) {
    status = watch(device, options, deviceName, bgmGetSongLength(song));
  } else {
    std::fprintf(stderr, "quavr-play: the timer could not start\n");
  }
  bgmStop(device);
  bgmCloseMidiDev(device);
  bgmDeleteSong(song);
  return status;
}
