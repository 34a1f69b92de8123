// quavr-play: plays a song file on an output device through the public API, as a host
// application would. Offline it also asks platform/platform_info.h for the virtual clock, so
// that its set-up lands at one virtual time. The command line, the terminal, the keys, the
// device choice, the song check, the next song, the progress line and the output reports each
// have their own file here.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "include/quavr.h"
#include "platform/platform_info.h"
#include "tools/device_choice.h"
#include "tools/fade_out.h"
#include "tools/next_song.h"
#if QUAVR_WITH_SYNTH
#include "tools/offline_render.h"
#endif
#include "tools/output_report.h"
#include "tools/play_keys.h"
#include "tools/play_options.h"
#include "tools/play_signals.h"
#include "tools/printable.h"
#include "tools/progress.h"
#include "tools/song_check.h"
#include "tools/terminal.h"

namespace {

using namespace quavr::tools;

#if QUAVR_WITH_SYNTH
constexpr bool kCanRender = true;
#else
constexpr bool kCanRender = false;
int renderToFile(QuavrDevice, const PlayOptions&, const std::function<void()>&) {
  return 1;
}
#endif

std::string midiErrorText() {
  char text[256];
  bgmGetMidiErrorText(text, sizeof text);
  return text;
}

// The library reads these when it first needs them, so they go in before any call.
void configureLibrary(const PlayOptions& options) {
  if (options.offline) setenv("QUAVR_TIMER", "virtual", 1);
  if (!options.log.empty()) setenv("QUAVR_MONITOR_LOG", options.log.c_str(), 1);
  if (!options.wav.empty()) setenv("QUAVR_WAV", options.wav.c_str(), 1);
}

// How far past its length a song's position may go before the player gives up on it: its last
// events go out on the first tick after their time, so two periods (at the fastest tempo) and a
// second are ample. In 64 bits, for a 0xFFFFFFFF-ms song or period.
std::uint64_t endGuardMs(std::uint32_t length, std::uint32_t period) {
  return std::uint64_t{length} + 8 * std::uint64_t{period} + 1000;
}

// --start: the song is moved before anything of its opening sounds. The clock may tick between
// the play and the seek (not offline, where it is held): meanwhile every channel is muted and
// the device paused for the seek, so no note before the start goes out and none at it is lost.
void playFrom(QuavrDevice device, QuavrSong song, std::uint32_t ms) {
  const std::uint32_t muted = bgmGetPlayInfo(device, QUAVR_PLAY_MUTED);
  bgmSetChannelMask(device, 0xFFFF);
  bgmPlay(device, song);
  const bool paused = bgmPause(device) == Paused;
  if (bgmSeek(device, ms) != 0) std::fprintf(stderr, "quavr-play: --start: the song had ended\n");
  bgmSetChannelMask(device, muted);
  if (paused) bgmPause(device);
}

// Whether a loop in force plays forever when every loop plays as the file counts.
bool loopsForever(QuavrSong song) {
  const std::uint32_t loops = bgmGetSongInfo(song, QUAVR_INFO_LOOPS, 0);
  for (std::uint32_t i = 0; loops != QUAVR_NONE && i < loops; ++i) {
    if (bgmGetSongInfo(song, QUAVR_INFO_LOOP_COUNT, i) == 0) return true;
  }
  return false;
}

int listDevices(const std::vector<std::string>& names) {
  for (std::size_t i = 0; i < names.size(); ++i)
    std::printf("%zu  %s\n", i, printable(names[i]).c_str());
  for (const std::string& note : deviceTexts(QUAVR_DEVICE_UNLISTED)) {
    std::fprintf(stderr, "%s\n", note.c_str());
  }
  return flushStdout() == StdoutState::kFailed ? 1 : 0;
}

// Plays until the library ends the song, or a key, a signal, an output error or a closed standard
// output stops it; the exit status.
int watch(QuavrDevice device, const PlayOptions& options, const std::string& deviceName,
          std::uint32_t length, NextSong& next, std::uint32_t nextLength) {
  // The monitor writing to this terminal would garble a progress line.
  const bool monitorOnTerminal = deviceName == "Quavr Monitor" && options.log.empty() &&
                                 std::getenv("QUAVR_MONITOR_LOG") == nullptr;
  const bool progressWanted = isatty(STDOUT_FILENO) && !monitorOnTerminal && !options.offline;
  if (Keys::foreground(STDOUT_FILENO)) {
    std::printf("Playing %s on %s%s\n", printable(options.file).c_str(),
                printable(deviceName).c_str(),
                options.repeat || options.loops == -1 ? ", repeating" : "");
  }
  Keys keys;
  PlayKeys playKeys;
  bool paused = false;
  bool lineShown = false;
  std::uint32_t lastMs = 0;  // the position last read while the song was still bound
  auto endLine = [&] {
    if (lineShown) std::printf("\n");
    lineShown = false;
  };
  int status = 0;
  while (bgmBgmStatus(device) != Idle) {
    if (suspendAsked()) {
      endLine();
      flushStdout();
      // Paused first, so that no note hangs while the process is stopped.
      const bool resume = !paused && bgmPause(device) == Paused;
      keys.suspend();
      if (resume) bgmPause(device);
    }
    keys.follow();
    const char key = keys.wait(options.offline ? 1 : 50);
    if (endingSignal() != 0) {
      status = 128 + endingSignal();
      break;
    }
    if (!deviceOutputError().empty()) {
      status = 1;  // said once, after the device is closed
      break;
    }
    const KeyAction action = key == 0 ? KeyAction::kNone : playKeys.press(device, key);
    if (action == KeyAction::kQuit) break;
    if (action == KeyAction::kPause) bgmPause(device);
    if (action == KeyAction::kNext) next.queue(device);
    paused = bgmBgmStatus(device) == Paused;
    // Song time, from the library's clock: with loops, tempo and fades it is the only one.
    std::uint32_t ms = bgmGetPosition(device);
    if (ms == QUAVR_NONE) break;
    // A stopped song reads 0: the last line shows where it stopped (a fade's end, or its own).
    const bool stopped = bgmBgmStatus(device) == Idle;
    const std::uint32_t events = bgmGetPlayInfo(device, QUAVR_PLAY_EVENTS);
    if (next.follow(events)) length = nextLength;
    if (stopped) ms = (events & QUAVR_EVENT_ENDED) != 0 ? length : lastMs;
    lastMs = ms;
    if (!paused && ms > endGuardMs(length, options.period)) {
      endLine();
      std::fprintf(stderr, "quavr-play: the song had not ended %llu ms after its length; stopped\n",
                   static_cast<unsigned long long>(ms - length));
      status = 1;
      break;
    }
    if (progressWanted && Keys::foreground(STDOUT_FILENO)) {
      std::printf("\r%s\x1b[K",
                  progressLine(std::min(ms, length), length, paused, terminalWidth(STDOUT_FILENO),
                               bgmGetPlayInfo(device, QUAVR_PLAY_LOOPS_DONE),
                               bgmGetPlayInfo(device, QUAVR_PLAY_BAR_BEAT))
                      .c_str());
      lineShown = true;
      const StdoutState out = flushStdout();
      if (out == StdoutState::kClosed) break;  // nobody reads any more: stop, quietly
      if (out == StdoutState::kFailed) {
        status = 1;
        break;
      }
    }
  }
  endLine();
  if (flushStdout() == StdoutState::kFailed) status = 1;
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const PlayOptions options = parsePlayOptions(argc, argv);
  configureLibrary(options);
  catchSignals();
  const std::vector<std::string> names = deviceTexts(QUAVR_DEVICE_NAME);
  if (options.list) return listDevices(names);
  const std::uint32_t deviceId = findDevice(options.device, names);
  const std::string deviceName = deviceId < names.size() ? names[deviceId] : "no such device";
  if (deviceId < names.size()) checkOutputOptions(options, deviceId, deviceName);

  // The songs first: a file that cannot be read should not open (or start rendering) a device.
  std::string why;
  const QuavrSong song = loadPlayable(options.file, why);
  if (song == 0) fail(why);
  const QuavrSong nextSong = options.next.empty() ? 0 : loadPlayable(options.next, why);
  if (!options.next.empty() && nextSong == 0) {
    bgmDeleteSong(song);
    fail(why);
  }
  const auto deleteSongs = [&] {
    bgmDeleteSong(song);
    bgmDeleteSong(nextSong);
  };
  // Offline, Quavr Synth's audio comes from a render device: sample-exact, with no timer.
  const bool rendering = kCanRender && options.offline && deviceName == "Quavr Synth";
  const QuavrDevice device = rendering ? bgmOpenRenderDev(options.rate, nullptr)
                                       : bgmOpenMidiDev(deviceId, options.period);
  if (device == 0) {
    deleteSongs();
    const std::string cause = deviceOutputError();
    fail("cannot open device " + std::to_string(deviceId) + " (" + printable(deviceName) +
         "): " + (cause.empty() ? midiErrorText() : cause));
  }
  if (options.loopStyles) {
    bgmSetLoopStyle(song, *options.loopStyles);
    bgmSetLoopStyle(nextSong, *options.loopStyles);
  }
  if (options.loopStart != QUAVR_NONE &&
      bgmSetLoopPoints(song, options.loopStart, options.loopEnd) != 0)
    std::fprintf(stderr, "quavr-play: --loop: the start is not before the end; no loop\n");
  if (options.offline && options.loops == QUAVR_LOOP_AS_FILE &&
      (loopsForever(song) || (nextSong != 0 && loopsForever(nextSong)))) {
    bgmCloseMidiDev(device);
    deleteSongs();
    fail("--offline with --loops file would never end: the song has a loop of count 0 (forever)",
         2);
  }
  bgmSetRepeat(device, options.repeat ? 1 : 0);
  if (!options.repeat) bgmSetLoopCount(device, options.loops);
  bgmSetVolume(device, options.volume);
  bgmSetTempo(device, options.tempo);
  // Offline, the song is set up at one virtual time: no tick comes between these calls, however
  // slowly this process gets to make them, and so every run's log is the same.
  if (options.offline) quavr::platform::posix::holdVirtualTime(true);
  if (options.startMs == 0) {
    bgmPlay(device, song);
  } else {
    playFrom(device, song, options.startMs);
  }
  if (options.fadeOutMs != 0) fadeOutAtTheEnd(device, options.fadeOutMs, bgmGetSongLength(song));
  // Without a terminal, --next is queued once the song has begun (its first tick has played), so
  // that a boundary at the start itself is not taken; offline, at one virtual time in every run.
  NextSong next(nextSong, options);
  const bool nextAtStart = nextSong != 0 && (options.offline || isatty(STDIN_FILENO) == 0);
  if (nextAtStart && options.offline && !rendering) {
    quavr::platform::posix::runVirtualTimeTo(quavr::platform::posix::nowNs() +
                                             std::int64_t{options.period} * 1000000);
    next.queue(device);
  }
  if (options.offline) quavr::platform::posix::holdVirtualTime(false);
  if (nextAtStart && !options.offline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uint64_t{options.period} + 2));
    next.queue(device);
  }
  // A short song on a long period may already have played to its end here.
  const bool started = bgmBgmStatus(device) == Playing ||
                       (bgmGetPlayInfo(device, QUAVR_PLAY_EVENTS) & QUAVR_EVENT_ENDED) != 0;
  int status = 1;
  if (rendering) {
    status = renderToFile(device, options, [&] {
      if (nextAtStart) next.queue(device);
    });
  } else if (started) {
    status = watch(device, options, deviceName, bgmGetSongLength(song), next,
                   bgmGetSongLength(nextSong));
  } else {
    std::fprintf(stderr, "quavr-play: the timer could not start\n");
  }
  bgmStop(device);
  bgmCloseMidiDev(device);
  deleteSongs();
  // Closing writes the last of a file (an audio file's sizes): its errors count too.
  if (const std::string cause = deviceOutputError(); !cause.empty()) {
    std::fprintf(stderr, "quavr-play: %s\n", cause.c_str());
    status = std::max(status, 1);
  }
  return status;
}
