// The library's exported functions: thin entries into the families behind them.
#include "include/quavr.h"
#include "playback/device.h"
#include "playback/midi_status.h"
#include "playback/play_controls.h"
#include "playback/queued_actions.h"
#include "playback/render_device.h"
#include "playback/song_position.h"
#include "playback/transport.h"
#include "song/loop_points.h"
#include "song/song_facts.h"
#include "song/song_loading.h"
#include "song/song_walk.h"

using namespace quavr;

namespace {

// A call from inside a render device's message sink fails: that device is mid-render, and a song
// or device made or changed there would be made under its lock. Device calls fail at the lock.
template <class Result, class Fn>
Result outsideSink(Result failure, Fn&& fn) {
  return insideSink() ? failure : fn();
}

}  // namespace

extern "C" {

QUAVR_API QuavrDevice QUAVR_CALL bgmOpenMidiDev(uint32_t deviceId, uint32_t periodMs) {
  return outsideSink(QuavrDevice{0}, [&] { return openMidiDev(deviceId, periodMs); });
}

QUAVR_API QuavrResult QUAVR_CALL bgmCloseMidiDev(QuavrDevice device) {
  return closeMidiDev(device);
}

QUAVR_API uint32_t QUAVR_CALL bgmMidiStatus(QuavrDevice) {
  return midiStatus();
}

QUAVR_API QuavrResult QUAVR_CALL bgmGetMidiErrorText(char* buffer, uint32_t size) {
  return midiErrorText(buffer, size);
}

QUAVR_API QuavrSong QUAVR_CALL bgmGetSongFile(const char* path) {
  return outsideSink(QuavrSong{0}, [&] { return loadSong(readSongFile(path)); });
}

QUAVR_API QuavrSong QUAVR_CALL bgmGetSongRsc(void* module, const char* name) {
  return outsideSink(QuavrSong{0}, [&] { return loadSong(readSongResource(module, name)); });
}

QUAVR_API QuavrSong QUAVR_CALL bgmDeleteSong(QuavrSong song) {
  return outsideSink(song, [&] { return deleteSong(song); });
}

QUAVR_API uint32_t QUAVR_CALL bgmGetSongLength(QuavrSong song) {
  return outsideSink(uint32_t{0}, [&] { return songLength(song); });
}

QUAVR_API QuavrSong QUAVR_CALL bgmGetSongMem(const void* data, uint32_t size) {
  return outsideSink(QuavrSong{0}, [&] { return loadSong(readSongMemory(data, size)); });
}

QUAVR_API uint32_t QUAVR_CALL bgmGetSongInfo(QuavrSong song, uint32_t what, uint32_t index) {
  return outsideSink(uint32_t{QUAVR_NONE}, [&] { return songInfo(song, what, index); });
}

QUAVR_API int32_t QUAVR_CALL bgmGetSongText(QuavrSong song, uint32_t kind, uint32_t index,
                                            char* buffer, uint32_t size) {
  return outsideSink(int32_t{-1}, [&] { return songText(song, kind, index, buffer, size); });
}

QUAVR_API int32_t QUAVR_CALL bgmSelectSong(QuavrSong song, uint32_t index) {
  return outsideSink(int32_t{-1}, [&] { return selectSong(song, index); });
}

QUAVR_API int32_t QUAVR_CALL bgmSetLoopStyle(QuavrSong song, uint32_t styles) {
  return outsideSink(int32_t{-1}, [&] { return setLoopStyle(song, styles); });
}

QUAVR_API int32_t QUAVR_CALL bgmSetLoopPoints(QuavrSong song, uint32_t startMs, uint32_t endMs) {
  return outsideSink(int32_t{-1}, [&] { return setLoopPoints(song, startMs, endMs); });
}

QUAVR_API int32_t QUAVR_CALL bgmPlay(QuavrDevice device, QuavrSong song) {
  return play(device, song);
}

QUAVR_API int32_t QUAVR_CALL bgmStop(QuavrDevice device) {
  return stop(device);
}

QUAVR_API int32_t QUAVR_CALL bgmPause(QuavrDevice device) {
  return pause(device);
}

QUAVR_API int32_t QUAVR_CALL bgmSetRepeat(QuavrDevice device, int32_t repeat) {
  return setRepeat(device, repeat);
}

QUAVR_API int32_t QUAVR_CALL bgmGetRepeat(QuavrDevice device) {
  return getRepeat(device);
}

QUAVR_API int32_t QUAVR_CALL bgmBgmStatus(QuavrDevice device) {
  return deviceState(device);
}

QUAVR_API uint32_t QUAVR_CALL bgmGetPosition(QuavrDevice device) {
  return position(device);
}

QUAVR_API int32_t QUAVR_CALL bgmSeek(QuavrDevice device, uint32_t ms) {
  return seek(device, ms);
}

QUAVR_API int32_t QUAVR_CALL bgmSetLoopCount(QuavrDevice device, int32_t count) {
  return setLoopCount(device, count);
}

QUAVR_API int32_t QUAVR_CALL bgmSetTempo(QuavrDevice device, uint32_t permille) {
  return setTempo(device, permille);
}

QUAVR_API int32_t QUAVR_CALL bgmSetVolume(QuavrDevice device, uint32_t percent) {
  return setVolume(device, percent);
}

QUAVR_API int32_t QUAVR_CALL bgmFade(QuavrDevice device, uint32_t percent, uint32_t ms,
                                     uint32_t then) {
  return fade(device, percent, ms, then);
}

QUAVR_API int32_t QUAVR_CALL bgmFadeAt(QuavrDevice device, uint32_t atMs, uint32_t percent,
                                       uint32_t ms, uint32_t then) {
  return fadeAt(device, atMs, percent, ms, then);
}

QUAVR_API int32_t QUAVR_CALL bgmSetChannelMask(QuavrDevice device, uint32_t muted) {
  return setChannelMask(device, muted);
}

QUAVR_API uint32_t QUAVR_CALL bgmGetPlayInfo(QuavrDevice device, uint32_t what) {
  return playInfo(device, what);
}

QUAVR_API uint32_t QUAVR_CALL bgmGetVersion(void) {
  return version();
}

static_assert(QUAVR_DEVICE_NAME == platform::DEVICE_TEXT_NAME &&
              QUAVR_DEVICE_UNLISTED == platform::DEVICE_TEXT_UNLISTED &&
              QUAVR_DEVICE_ERROR == platform::DEVICE_TEXT_ERROR);

// The first call lists the devices, which may wait on a sound server: never from a sink.
QUAVR_API int32_t QUAVR_CALL bgmGetDeviceText(uint32_t kind, uint32_t index, char* buffer,
                                              uint32_t size) {
  return outsideSink(-1, [&] { return platform::deviceText(kind, index, buffer, size); });
}

QUAVR_API QuavrDevice QUAVR_CALL bgmOpenRenderDev(uint32_t sampleRate, const char* soundfont) {
  return outsideSink(QuavrDevice{0}, [&] { return openRenderDev(sampleRate, soundfont); });
}

QUAVR_API int32_t QUAVR_CALL bgmRender(QuavrDevice device, void* out, uint32_t frames,
                                       uint32_t format) {
  return render(device, out, frames, format);
}

QUAVR_API int32_t QUAVR_CALL bgmSetMessageSink(QuavrDevice device, QuavrMessageSink sink,
                                               void* user) {
  return setMessageSink(device, sink, user);
}

QUAVR_API int32_t QUAVR_CALL bgmGetSongEvents(QuavrSong song, uint32_t first,
                                              QuavrSongEvent* events, uint32_t count) {
  return outsideSink(int32_t{-1}, [&] { return songEvents(song, first, events, count); });
}

QUAVR_API int32_t QUAVR_CALL bgmGetSongEventData(QuavrSong song, uint32_t index, void* buffer,
                                                 uint32_t size) {
  return outsideSink(int32_t{-1}, [&] { return songEventData(song, index, buffer, size); });
}

QUAVR_API int32_t QUAVR_CALL bgmQueueSong(QuavrDevice device, QuavrSong song, uint32_t when,
                                          uint32_t entryMs, uint32_t flags) {
  return queueSong(device, song, when, entryMs, flags);
}

QUAVR_API int32_t QUAVR_CALL bgmQueueJump(QuavrDevice device, uint32_t when, uint32_t targetMs,
                                          uint32_t flags) {
  return queueJump(device, when, targetMs, flags);
}

QUAVR_API int32_t QUAVR_CALL bgmQueueStop(QuavrDevice device, uint32_t when) {
  return queueStop(device, when);
}

QUAVR_API int32_t QUAVR_CALL bgmQueueFade(QuavrDevice device, uint32_t when, uint32_t percent,
                                          uint32_t ms, uint32_t then) {
  return queueFade(device, when, percent, ms, then);
}

QUAVR_API int32_t QUAVR_CALL bgmCancelQueued(QuavrDevice device) {
  return cancelQueued(device);
}

QUAVR_API int32_t QUAVR_CALL bgmFadeChannels(QuavrDevice device, uint32_t when, uint32_t mask,
                                             uint32_t percent, uint32_t ms) {
  return fadeChannels(device, when, mask, percent, ms);
}

}  // extern "C"
