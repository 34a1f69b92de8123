/* Quavr: Standard MIDI Files as background music.
 *
 * A host opens a MIDI output device, loads songs and plays them on it. Every argument and every
 * result is a 32-bit value; devices and songs are opaque 32-bit handles, 0 meaning "none".
 * On Windows the functions are __stdcall and exported by QUAVR.DLL under their decorated names;
 * on Linux libquavr.so exports them undecorated. */
#ifndef QUAVR_H
#define QUAVR_H

#include <stdint.h>

#define QUAVR_VERSION_MAJOR 0
#define QUAVR_VERSION_MINOR 10
#define QUAVR_VERSION_STRING "0.10"
/* True when this header is version maj.min or later. */
#define QUAVR_VERSION_ATLEAST(maj, min) \
  (QUAVR_VERSION_MAJOR > (maj) || (QUAVR_VERSION_MAJOR == (maj) && QUAVR_VERSION_MINOR >= (min)))

#if defined(_WIN32)
#define QUAVR_CALL __stdcall
#if defined(QUAVR_BUILDING)
#define QUAVR_API
#else
#define QUAVR_API __declspec(dllimport)
#endif
#else
#define QUAVR_CALL
#define QUAVR_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t QuavrDevice; /* names an open MIDI output device */
typedef uint32_t QuavrSong;   /* names a loaded song */
typedef uint32_t QuavrResult; /* a MIDI result code: 0 is success */

/* Transport states of a device. The short names are the first release's, kept so that hosts
 * written for it build unchanged; a host whose own names clash with them defines
 * QUAVR_NO_SHORT_STATE_NAMES before it includes this header. */
enum QuavrState {
  QUAVR_IDLE = 0,
  QUAVR_READY = 1,
  QUAVR_PLAYING = 2,
  QUAVR_PAUSED = 16
#ifndef QUAVR_NO_SHORT_STATE_NAMES
  ,
  Idle = QUAVR_IDLE,
  Ready = QUAVR_READY,
  Playing = QUAVR_PLAYING,
  Paused = QUAVR_PAUSED
#endif
};

/* The result of the last MIDI operation of any device: opening, closing, or an event sent. */
QUAVR_API extern uint32_t uMidiStatus;

/* Opens output device `deviceId` with a timer period of `periodMs`. Returns the device, or 0
 * with the reason in uMidiStatus (0 when memory ran out). */
QUAVR_API QuavrDevice QUAVR_CALL bgmOpenMidiDev(uint32_t deviceId, uint32_t periodMs);
/* Stops playback, closes the port and frees the device. Returns the port's close result. */
QUAVR_API QuavrResult QUAVR_CALL bgmCloseMidiDev(QuavrDevice device);
/* The value of uMidiStatus; the device is not used. */
QUAVR_API uint32_t QUAVR_CALL bgmMidiStatus(QuavrDevice device);
/* Writes the text of uMidiStatus into `buffer` (at most `size` bytes, zero-terminated). */
QUAVR_API QuavrResult QUAVR_CALL bgmGetMidiErrorText(char* buffer, uint32_t size);

/* Loads a Standard MIDI File. Returns the song, or 0 when the file cannot be read, is empty,
 * or memory ran out. A file that is not a MIDI file gives a song with no tracks. */
QUAVR_API QuavrSong QUAVR_CALL bgmGetSongFile(const char* path);
/* Loads a song from an RCDATA resource of `module` (0: the program itself). `name` is a name or
 * an integer id made with MAKEINTRESOURCE. Returns the song or 0, as bgmGetSongFile. */
QUAVR_API QuavrSong QUAVR_CALL bgmGetSongRsc(void* module, const char* name);
/* Frees the song. Returns 0, or the song itself when it was not freed (it is playing on a
 * device, or it names no loaded song). */
QUAVR_API QuavrSong QUAVR_CALL bgmDeleteSong(QuavrSong song);
/* The song's length in milliseconds; 0 for a handle that names no loaded song. */
QUAVR_API uint32_t QUAVR_CALL bgmGetSongLength(QuavrSong song);

/* Transport. Each returns a device state, or -1 when `device` names no open device.
 * bgmPlay binds the song to an Idle device and starts it; it returns the state it found (0 when
 * it started the song). A song plays on one device at a time. */
QUAVR_API int32_t QUAVR_CALL bgmPlay(QuavrDevice device, QuavrSong song);
/* Stops playback and unbinds the song; returns the state it leaves (Idle). */
QUAVR_API int32_t QUAVR_CALL bgmStop(QuavrDevice device);
/* Pauses a Playing device, or resumes a Paused one where it stood; returns the state it leaves. */
QUAVR_API int32_t QUAVR_CALL bgmPause(QuavrDevice device);
/* Sets the device's repeat flag (nonzero: play the song again when it ends); returns it. */
QUAVR_API int32_t QUAVR_CALL bgmSetRepeat(QuavrDevice device, int32_t repeat);
/* The device's repeat flag as set; 0 for a handle that names no open device. */
QUAVR_API int32_t QUAVR_CALL bgmGetRepeat(QuavrDevice device);
/* The device's state: Idle, Ready, Playing or Paused. */
QUAVR_API int32_t QUAVR_CALL bgmBgmStatus(QuavrDevice device);

#ifdef __cplusplus
}
#endif

#endif /* QUAVR_H */
