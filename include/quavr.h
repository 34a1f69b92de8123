/* Quavr: Standard MIDI Files as background music.
 *
 * A host opens a MIDI output device, loads songs and plays them on it. Every argument and every
 * result is a 32-bit value; devices and songs are opaque 32-bit handles, 0 meaning "none".
 * On Windows the functions are __stdcall and exported by QUAVR.DLL, the 32-bit one under their
 * decorated names, the 64-bit one (which has no __stdcall) undecorated; on Linux libquavr.so
 * exports them undecorated. */
#ifndef QUAVR_H
#define QUAVR_H

#include <stdint.h>

#define QUAVR_VERSION_MAJOR 0
#define QUAVR_VERSION_MINOR 10
#define QUAVR_VERSION_PATCH 0
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

/* Loads a song file: a Standard MIDI File, or one of the game formats QUAVR_INFO_FORMAT names
 * (Extended MIDI, MUS, HMP, HMI), recognised by its bytes, never by its name. Returns the song,
 * or 0 when the file cannot be read, is empty, or memory ran out. A file that is none of them
 * gives a song with no tracks; one cut short gives what could be read of it. */
QUAVR_API QuavrSong QUAVR_CALL bgmGetSongFile(const char* path);
/* Loads a song from an RCDATA resource of `module` (0: the program itself). `name` is a name or
 * an integer id made with MAKEINTRESOURCE. Returns the song or 0, as bgmGetSongFile. */
QUAVR_API QuavrSong QUAVR_CALL bgmGetSongRsc(void* module, const char* name);
/* Frees the song. Returns 0, or the song itself when it was not freed (it is playing on a
 * device, or it names no loaded song). */
QUAVR_API QuavrSong QUAVR_CALL bgmDeleteSong(QuavrSong song);
/* The song's length in milliseconds, at most 0xFFFFFFFE; 0 for a handle that names no loaded
 * song. */
QUAVR_API uint32_t QUAVR_CALL bgmGetSongLength(QuavrSong song);

/* Loads a song from `size` bytes at `data`, which the host keeps owning: they are copied, so
 * the host may free them at once. Loads as bgmGetSongFile; 0 when `data` is NULL, `size` is 0,
 * or memory ran out. An RMID file (a RIFF form of type RMID), from any loader, plays its data
 * chunk, and its INAM text is the song's title. */
QUAVR_API QuavrSong QUAVR_CALL bgmGetSongMem(const void* data, uint32_t size);

/* What bgmGetSongInfo reports. Times are in milliseconds. */
enum QuavrInfo {
  QUAVR_INFO_FORMAT = 0,
  QUAVR_INFO_TRACKS = 1,
  QUAVR_INFO_DIVISION = 2,
  QUAVR_INFO_LENGTH = 3,       /* as bgmGetSongLength */
  QUAVR_INFO_EVENTS = 4,       /* of all tracks */
  QUAVR_INFO_TRACK_LENGTH = 5, /* of track `index` */
  QUAVR_INFO_LOOP_START = 6,   /* of loop `index` (0: the outermost); QUAVR_NONE: no loop */
  QUAVR_INFO_LOOP_END = 7,
  QUAVR_INFO_LOOP_STYLE = 8,   /* the QUAVR_LOOP_ bit that set it; 0: none, or explicit */
  QUAVR_INFO_MARKERS = 9,      /* marker events, all tracks */
  QUAVR_INFO_MARKER_TIME = 10, /* of marker `index` */
  QUAVR_INFO_LOOPS = 11,       /* the loops in force, in order of their start */
  QUAVR_INFO_LOOP_COUNT = 12,  /* loop `index`'s count as the file writes it; 0 forever */
  QUAVR_INFO_SONGS = 13,       /* songs in the file (1 but for Extended MIDI); see bgmSelectSong */
  QUAVR_INFO_LYRICS = 14,      /* lyrics, as QUAVR_TEXT_LYRIC lists them */
  QUAVR_INFO_LYRIC_TIME = 15,  /* of lyric `index` */
  /* The song's grid (see "Music that follows the game" below): bars and beats. */
  QUAVR_INFO_BARS = 16,        /* bars, a last partial bar counted */
  QUAVR_INFO_BAR_TIME = 17,    /* of bar `index` (0: the first, at 0 ms) */
  QUAVR_INFO_METER = 18,       /* of bar `index`: QUAVR_METER_NUMERATOR/_DENOMINATOR/_NOMINAL */
  QUAVR_INFO_BEAT_TIME = 19,   /* of beat `index`, counted from the song's start */
  QUAVR_INFO_BRANCHES = 20,    /* Extended MIDI branch points (its RBRN chunk), else 0 */
  QUAVR_INFO_BRANCH_TIME = 21, /* of branch point `index`; QUAVR_NONE when it points past the
                                  events */
  QUAVR_INFO_BRANCH_ID = 22,   /* of branch point `index` */
  QUAVR_INFO_METERS = 23,      /* the meter map: meters in force one after another (1 at least) */
  QUAVR_INFO_METER_BAR = 24,   /* the bar meter `index` of the map begins at */
  /* Ticks per second of a format timed at a fixed rate; 0 when set-tempo events time the song. */
  QUAVR_INFO_TICK_RATE = 32,
  /* Microseconds per quarter note the timing took from the set-tempo event that
     bgmGetSongEvents numbers `index` (a set-tempo stored short reads on into the bytes after
     it); QUAVR_NONE for any other event. */
  QUAVR_INFO_TEMPO = 33
};
/* A meter as QUAVR_INFO_METER packs it: (numerator << 8) | denominator, so 6/8 reads 0x0608, and
 * QUAVR_METER_NOMINAL when the file gives none of its own (the game formats' and SMPTE-timed
 * songs' 4/4 of quarter notes of QUAVR_INFO_DIVISION ticks, at 120 a minute for all but HMP,
 * whose header gives its own). A Standard MIDI File without a time signature is 4/4. */
#define QUAVR_METER_NUMERATOR(m) (((m) >> 8) & 0xFFu)
#define QUAVR_METER_DENOMINATOR(m) ((m)&0xFFu)
#define QUAVR_METER_NOMINAL 0x10000u
/* The source formats QUAVR_INFO_FORMAT reports. A Standard MIDI File reports its header's
 * format; the game formats are timed at a fixed rate (Extended MIDI 120 ticks per second, MUS
 * 140, HMP and HMI as their headers say), and their QUAVR_INFO_DIVISION is the ticks of a
 * quarter note at 120 beats per minute (HMP: its header's ticks per quarter note). */
#define QUAVR_FORMAT_SMF0 0u /* also a song of no tracks: a file of no known format */
#define QUAVR_FORMAT_SMF1 1u
#define QUAVR_FORMAT_SMF2 2u
#define QUAVR_FORMAT_XMI 3u /* Extended MIDI, "FORM" "XDIR" or "XMID" */
#define QUAVR_FORMAT_MUS 4u /* "MUS\x1A" */
#define QUAVR_FORMAT_HMP 5u /* "HMIMIDIP", versions 1 and 2 */
#define QUAVR_FORMAT_HMI 6u /* "HMI-MIDISONG061595" */
/* A time or value that does not exist, and the failure of bgmGetSongInfo. */
#define QUAVR_NONE 0xFFFFFFFFu
/* A fact of the song; QUAVR_NONE for a bad handle, an unknown `what` or an index out of range. */
QUAVR_API uint32_t QUAVR_CALL bgmGetSongInfo(QuavrSong song, uint32_t what, uint32_t index);

/* The texts bgmGetSongText reads, as the file stores them (no conversion). */
enum QuavrText {
  QUAVR_TEXT_TITLE = 0,      /* the RMID title, else the first track's first name */
  QUAVR_TEXT_COPYRIGHT = 1,  /* the `index`-th copyright notice */
  QUAVR_TEXT_TRACK_NAME = 2, /* the name of track `index` */
  QUAVR_TEXT_MARKER = 3,     /* the `index`-th marker, tracks in order */
  QUAVR_TEXT_LYRIC = 4       /* the `index`-th lyric, tracks in order: lyric events, and in a
                                karaoke song (a text event begins with '@') the text events
                                that do not begin with '@' */
};
/* Writes as much of the text as fits into `buffer`, always NUL-terminated when `size` > 0, and
 * returns the text's full length in bytes (snprintf rules); -1 when there is no such text or
 * the handle names no loaded song. */
QUAVR_API int32_t QUAVR_CALL bgmGetSongText(QuavrSong song, uint32_t kind, uint32_t index,
                                            char* buffer, uint32_t size);

/* Loop conventions, a mask. Controllers count on any channel and track. Loops nest up to 4 deep
 * and a song keeps up to 64; a loop's end jumps to its start while its count lasts.
 * "N more passes" means the loop plays N + 1 times. */
/* Text or marker events "loopStart" (forever) or "loopStart=N" (N more passes, 0 forever) and
 * "loopEnd", any case; they nest. */
#define QUAVR_LOOP_MARKERS 1u
#define QUAVR_LOOP_CC111 2u     /* controller 111 marks the start; the end is the song's end */
#define QUAVR_LOOP_CC116_117 4u /* controller 116 marks the start, 117 the end; forever */
/* EMIDI: 116 starts a track loop of N more passes (its value; 0 forever), 117 of value 127 ends
 * it; 118 and 119 the same for the song loop. Also the tracks' designation: controller 110
 * (include) or 111 (exclude) at a track's tick 0 with value 0 (General MIDI) or 127 (all): a
 * track with an include, none of them 0 or 127, or with such an exclude, is not sent. 112 goes
 * out as a program change, 113 as controller 7. Track loops loop the whole song here. */
#define QUAVR_LOOP_EMIDI 8u
#define QUAVR_LOOP_CC110_111 16u /* 110 marks the start, the next 111 the end; forever */
#define QUAVR_LOOP_TOUHOU 32u    /* controller 2 of value 0 the start, 4 of value 0 the end */
/* XMI: 116 For (value 1-127: plays in all, 0 forever), 117 of 64 or more Next (the end), below
 * 64 Break (the loop ends there without a jump). Notes sounding at a Next are not cut: each ends
 * after what was left of its length at the loop end. The end of an endless For is the song's
 * length (QUAVR_INFO_LENGTH). */
#define QUAVR_LOOP_XMI 64u
/* Clashes: a controller two enabled styles read belongs to the first of XMI, EMIDI, CC116_117,
 * CC110_111, TOUHOU, CC111. The loops of MARKERS, XMI and EMIDI are taken in that order, each
 * kept where it neither repeats nor crosses an earlier one nor nests deeper than 4. Without any,
 * the first of CC116_117, CC110_111, TOUHOU and CC111 that marks a loop sets the one loop: its
 * earliest start and the earliest end after it. Everywhere a start without an end loops to the
 * song's end, and an end in a style with no start loops from 0. */
/* Which conventions of the file set the song's loops (default 0: none, the whole song repeats;
 * a song loads with its format's own: QUAVR_LOOP_XMI for Extended MIDI, QUAVR_LOOP_CC110_111 for
 * HMP and HMI). Unknown bits are ignored. With repeat on, a device reaching the loop end goes on
 * at the loop start at once. Returns 0, or -1 for a bad handle. */
QUAVR_API int32_t QUAVR_CALL bgmSetLoopStyle(QuavrSong song, uint32_t styles);
/* Explicit loop points in ms of the song, ahead of the file's; `endMs` QUAVR_NONE is the song's
 * end; both QUAVR_NONE clear them. Returns 0, or -1 for a bad handle or a start at or after the
 * end (nothing changed). On a playing song the loop applies from the next loop end reached. */
QUAVR_API int32_t QUAVR_CALL bgmSetLoopPoints(QuavrSong song, uint32_t startMs, uint32_t endMs);

/* Makes song `index` of a file that holds several (an Extended MIDI collection) the one the
 * handle plays, with its own tracks, length and loops; the host's loop styles stay. Song 0 plays
 * after a load; other formats have only song 0. Returns 0, or -1 for a bad handle, an index out
 * of range, or a song bound to a device. */
QUAVR_API int32_t QUAVR_CALL bgmSelectSong(QuavrSong song, uint32_t index);

/* Transport. Each returns a device state, or -1 when `device` names no open device.
 * bgmPlay binds the song to an Idle device and starts it; it returns the state it found (0 when
 * it started the song). A song plays on one device at a time. */
QUAVR_API int32_t QUAVR_CALL bgmPlay(QuavrDevice device, QuavrSong song);
/* Stops playback and unbinds the song; returns the state it leaves (Idle). */
QUAVR_API int32_t QUAVR_CALL bgmStop(QuavrDevice device);
/* Pauses a Playing device, or resumes a Paused one where it stood; returns the state it leaves. */
QUAVR_API int32_t QUAVR_CALL bgmPause(QuavrDevice device);
/* Sets the device's repeat flag (nonzero: play the song again when it ends, loop count -1; 0:
 * loop count 0); returns it. */
QUAVR_API int32_t QUAVR_CALL bgmSetRepeat(QuavrDevice device, int32_t repeat);
/* The device's repeat flag as set while its loop count is not 0, else 0; 0 for a handle that
 * names no open device. */
QUAVR_API int32_t QUAVR_CALL bgmGetRepeat(QuavrDevice device);
/* The device's state: Idle, Ready, Playing or Paused. */
QUAVR_API int32_t QUAVR_CALL bgmBgmStatus(QuavrDevice device);

/* Playback control. Each is safe from any thread; -1 (QUAVR_NONE for the uint32_t results)
 * when `device` names no open device. Times are in ms of the song, whatever the tempo. */

/* The song time the next tick plays up to, at most 0xFFFFFFFE; 0 when no song is bound. */
QUAVR_API uint32_t QUAVR_CALL bgmGetPosition(QuavrDevice device);
/* The song goes on at `ms` (Ready, Playing or Paused): the notes sounding end, the port gets the
 * song's state at `ms` (system-exclusive messages, then each channel's bank, program,
 * controllers, parameters, pitch bend and pressure), and the next tick plays what is due at
 * `ms`. A time past the song's end is its end: the song ends at the next tick. Loops are
 * entered as a play from 0 would, a target at a loop's end included; past a loop's end the song
 * plays on to its end and ends (the count is the loop's). Loop passes, volume, fade, tempo and
 * muted channels stay. Returns 0; -1 for a bad handle, a device with no song bound, or no memory
 * for the chase (the song then stays where it was). */
QUAVR_API int32_t QUAVR_CALL bgmSeek(QuavrDevice device, uint32_t ms);
/* How many more times the outermost loop (the song's first loop, else the whole song) plays:
 * -1 forever, 0 none, or QUAVR_LOOP_AS_FILE; after the last pass the song plays on to its end. A
 * song with a loop does not play again at its end.
 * The other loops play as the file counts. Returns 0. */
/* every loop plays as the file counts; the song does not repeat */
#define QUAVR_LOOP_AS_FILE (-2)
QUAVR_API int32_t QUAVR_CALL bgmSetLoopCount(QuavrDevice device, int32_t count);
/* Playback speed in permille of the written one, clamped into 250-4000. Returns 0. */
QUAVR_API int32_t QUAVR_CALL bgmSetTempo(QuavrDevice device, uint32_t permille);
/* The device's volume in percent (0-100, clamped): every channel volume (CC7) the song sends
 * goes out scaled by it. Cancels a fade. Each song starts at the last volume set here (100 when
 * the device opens), or at that of a fade that arrived with QUAVR_FADE_CONTINUE. Returns 0. */
QUAVR_API int32_t QUAVR_CALL bgmSetVolume(QuavrDevice device, uint32_t percent);
/* What a fade does when it reaches its volume. */
#define QUAVR_FADE_CONTINUE 0u
#define QUAVR_FADE_PAUSE 1u
#define QUAVR_FADE_STOP 2u
/* Moves the volume to `percent` over `ms` of playing, a step each tick (on a render device a step
 * each ms of frames from frame 0 of the next bgmRender), then does `then`. The fade belongs to
 * the song bound: ended with it (at its end or bgmStop) it puts the volume back where it stood
 * before the fade, with no QUAVR_EVENT_FADE_DONE; bgmSetVolume cancels it. Returns 0; -1 for an
 * unknown `then` or no song bound (Idle). */
QUAVR_API int32_t QUAVR_CALL bgmFade(QuavrDevice device, uint32_t percent, uint32_t ms,
                                     uint32_t then);
/* The same fade, begun at the tick that plays the song up to `atMs` in its last pass (no loop
 * passes left), or at the next tick when the song is already there: a fade at a song time,
 * whatever the tick timing. Until then it waits; another fade or bgmSetVolume replaces it. */
QUAVR_API int32_t QUAVR_CALL bgmFadeAt(QuavrDevice device, uint32_t atMs, uint32_t percent,
                                       uint32_t ms, uint32_t then);
/* Mutes the notes of the channels whose bit (0-15) is set in `muted`. Returns 0. */
QUAVR_API int32_t QUAVR_CALL bgmSetChannelMask(QuavrDevice device, uint32_t muted);
/* What bgmGetPlayInfo reports. */
enum QuavrPlayInfo {
  QUAVR_PLAY_LOOPS_DONE = 0, /* passes of the outermost loop (or the whole song) begun again */
  QUAVR_PLAY_LOOP_COUNT = 1, /* remaining, as bgmSetLoopCount: 0xFFFFFFFF forever */
  QUAVR_PLAY_VOLUME = 2,     /* now, during a fade too */
  QUAVR_PLAY_TEMPO = 3,
  QUAVR_PLAY_MUTED = 4,
  QUAVR_PLAY_EVENTS = 5, /* QUAVR_EVENT_ flags since the last read; reading clears them */
  QUAVR_PLAY_MARKER = 6, /* the index (as QUAVR_TEXT_MARKER) of the last marker played of the
                            song; QUAVR_NONE before the first */
  /* Where the song is in bars and beats, at bgmGetPosition's position; QUAVR_NONE when Idle. */
  QUAVR_PLAY_BAR_BEAT = 7,     /* packed, one consistent read: QUAVR_BAR, _BEAT, _BEAT_FRACTION */
  QUAVR_PLAY_TO_NEXT_BEAT = 8, /* ms of song time to the beat a queued QUAVR_AT_BEAT would take
                                  now (0: in the next tick); the song as written, loops aside */
  QUAVR_PLAY_TO_NEXT_BAR = 9,  /* the same for QUAVR_AT_BAR */
  /* + channel (0-15): that channel's own volume in percent (bgmFadeChannels), during a fade too;
     any state */
  QUAVR_PLAY_CHANNEL_VOLUME = 16
};
/* QUAVR_PLAY_BAR_BEAT: bar (from 0; 65535 and past read 65535) in bits 16-31, the beat in the
 * bar (from 0) in bits 8-15, and how far into the beat the position is, in 256ths, in 0-7. */
#define QUAVR_BAR(v) ((uint32_t)(v) >> 16)
#define QUAVR_BEAT(v) (((uint32_t)(v) >> 8) & 0xFFu)
#define QUAVR_BEAT_FRACTION(v) ((uint32_t)(v)&0xFFu)
#define QUAVR_EVENT_ENDED 1u     /* the song played to its end */
#define QUAVR_EVENT_LOOPED 2u    /* a pass of the loop began again */
#define QUAVR_EVENT_FADE_DONE 4u /* a fade reached its volume */
#define QUAVR_EVENT_MARKER 8u    /* a marker event was played */
#define QUAVR_EVENT_BEAT 16u     /* a beat began (played by the sequencer): every bar line too */
#define QUAVR_EVENT_BAR 32u      /* a bar began */
#define QUAVR_EVENT_QUEUED 64u   /* a queued action took effect */
#define QUAVR_EVENT_DROPPED 128u /* a queued action was dropped without taking effect */
/* A fact of the device's playback; QUAVR_NONE for a bad handle or an unknown `what`. */
QUAVR_API uint32_t QUAVR_CALL bgmGetPlayInfo(QuavrDevice device, uint32_t what);
/* The library's version: (major << 16) | (minor << 8) | patch. */
QUAVR_API uint32_t QUAVR_CALL bgmGetVersion(void);

/* What bgmGetDeviceText reads. */
/* the name of output device `index`, as bgmOpenMidiDev numbers them, in full */
#define QUAVR_DEVICE_NAME 0u
/* the `index`-th note on a device left out of that list, with why ("Quavr Synth: not listed:
 * ..."); Linux only */
#define QUAVR_DEVICE_UNLISTED 1u
/* `index` 0: the first error an output device met opening or writing its file ("cannot write FILE:
 * the system's reason"); Linux only. A device that meets one also fails its calls. */
#define QUAVR_DEVICE_ERROR 2u
/* Writes the text by snprintf's rules, as bgmGetSongText, and returns its full length; -1 when
 * there is no such text (an index past the last, no error yet) or `kind` is unknown. Safe from
 * any thread. */
QUAVR_API int32_t QUAVR_CALL bgmGetDeviceText(uint32_t kind, uint32_t index, char* buffer,
                                              uint32_t size);

/* Render devices: the host owns the audio. A render device has no timer and no port; the host
 * pulls the music from it with bgmRender (from its audio callback, say), and every event sounds
 * at the frame of its song time, floor(t * rate / 1000) with the tempo applied, whatever the
 * sizes of the host's buffers. Every transport and control call above works on it; a call from
 * another thread takes effect at the next bgmRender. */

/* Opens a render device at `sampleRate` Hz (8000-192000; else 0 with MMSYSERR_INVALPARAM in
 * uMidiStatus). `soundfont`: NULL, the default soundfont (as Quavr Synth finds it); a path, that
 * SoundFont 2 file (missing, unreadable or not a soundfont: 0, with the reason from
 * bgmGetMidiErrorText); "" no synthesizer at all: messages only, to the sink. Windows: only "",
 * any soundfont gives 0 with MMSYSERR_NODRIVER. Closed with bgmCloseMidiDev. */
QUAVR_API QuavrDevice QUAVR_CALL bgmOpenRenderDev(uint32_t sampleRate, const char* soundfont);
/* Or'd into bgmOpenRenderDev's `sampleRate`: the synthesizer without its reverb and chorus. Its
 * bgmRender then never allocates nor makes a system call. With them (the default), FluidSynth as
 * Debian builds it (with OpenMP) renders the effects of every 64 frames in a parallel region,
 * which allocates and frees a block and makes two futex calls on the calling thread. */
#define QUAVR_RENDER_DRY 0x80000000u

/* What bgmRender writes: interleaved stereo frames of float or int16, written over what `out`
 * holds or, with QUAVR_RENDER_MIX, added to it. Full scale is 1.0 (32767), but the float samples
 * are not limited: dense loud chords go well past it (peaks of 6 are heard). int16 is clipped. */
#define QUAVR_RENDER_F32 1u
#define QUAVR_RENDER_S16 2u
#define QUAVR_RENDER_MIX 0x100u
/* Advances the device by exactly `frames` frames and fills all of them (silence where nothing
 * plays, the last notes' release after the end). Returns the frames that were song: `frames`
 * while it plays, fewer in the call where it ends or pauses, 0 when it is not playing; -1 for
 * a bad handle, a port device, an unknown format, or a NULL `out` on a device with a
 * synthesizer. On a messages-only device `out` may be NULL (any format, 0 included). Never
 * allocates, reads files or waits for a host call's slow part: safe on an audio thread. */
QUAVR_API int32_t QUAVR_CALL bgmRender(QuavrDevice device, void* out, uint32_t frames,
                                       uint32_t format);

/* Called from inside bgmRender with each message the device sends (notes, controllers, system
 * exclusive, a seek's chase, resets) and its frame inside that call, in order. Messages of host
 * calls made between two renders come at frame 0 of the next. The sink must not call Quavr: a
 * call made from inside it fails with its failure value (-1, 0 or QUAVR_NONE), but for
 * bgmGetVersion, bgmMidiStatus and bgmGetMidiErrorText, which only read. */
typedef void(QUAVR_CALL* QuavrMessageSink)(void* user, uint32_t frame, const uint8_t* bytes,
                                           uint32_t length);
/* Sets the device's sink (NULL removes it). Returns 0; -1 for a bad handle or a port device. */
QUAVR_API int32_t QUAVR_CALL bgmSetMessageSink(QuavrDevice device, QuavrMessageSink sink,
                                               void* user);

/* One event of a song, as bgmGetSongEvents lists it: plain 32-bit fields and four bytes, the same
 * 32-byte layout in every build of the library. */
typedef struct QuavrSongEvent {
  uint32_t timeMs; /* song time */
  uint32_t tick;   /* of its track */
  uint32_t track;
  /* The bytes bgmGetSongEventData gives: a short message's (a channel message, or a system
   * message such as F8), its status included (1-3; 0 for a data byte read with no status before
   * it), a system-exclusive event's after its F0, an escape's, a meta event's data after its
   * type and length. */
  uint32_t length;
  /* A note-on (velocity above 0): the song time its note stops, at the next note-off or note-on
   * of its channel and key the song sends, whichever track has it; 0 where it has none. */
  uint32_t endMs;
  uint32_t barBeat;  /* the bar and beat of timeMs, packed as QUAVR_PLAY_BAR_BEAT */
  uint8_t status;    /* a short message's status byte; 0xF0 system exclusive, 0xF7 escape,
                        0xFF meta */
  uint8_t type;      /* a meta event's type; 0 for the others */
  uint8_t data[2];   /* a short message's data bytes; 0 past its length */
  uint32_t reserved; /* 0 */
} QuavrSongEvent;

/* Copies up to `count` events of the song into `events`, from event `first` on: all tracks
 * merged in the order a device sends them (by song time; at one time, track by track, each
 * track's in its order), with the same times; for a collection, its selected song. Read-only:
 * safe while the song plays on a device. The calls build the song's order as far as they read
 * (14 bytes an event), kept until the song is deleted or another song selected. Returns how many
 * it copied, 0 past the end or for `count` 0; -1 for a bad handle, a NULL `events` with `count`
 * above 0, or no memory for the order. */
QUAVR_API int32_t QUAVR_CALL bgmGetSongEvents(QuavrSong song, uint32_t first,
                                              QuavrSongEvent* events, uint32_t count);
/* Copies the bytes of event `index` (QuavrSongEvent.length says which) into `buffer` by
 * snprintf's rules, as bgmGetSongText; returns their full length, or -1 for a bad handle or an
 * index past the last event. */
QUAVR_API int32_t QUAVR_CALL bgmGetSongEventData(QuavrSong song, uint32_t index, void* buffer,
                                                 uint32_t size);

/* Music that follows the game: actions queued for a musical boundary of the song playing.
 *
 * The grid is the song's own: bar 0 begins at 0 ms, every time signature begins a bar at its
 * tick (a change inside a bar leaves that bar short; of several on one tick the last wins), and
 * a beat is the meter's denominator note (6/8: six eighths to the bar). Tempo changes move bar
 * lines in time, never in ticks, and every bar and beat is timed exactly as an event on its tick.
 *
 * `when`: the boundary. Its low byte is a kind; bits 8-15 "every N" (0 or 1: each) for beats and
 * bars, counted from bar 0 or beat 0 of the song, not from the call; bits 16-31 a marker's index
 * + 1 (0: any marker). "Next" is the first boundary at or after the first song time the device
 * has not played when the call takes effect (on a render device, the next frame rendered): a
 * boundary already passed is never used. An action holds its rule, not a time: a seek, a loop
 * jump, a tempo change or another action finds its boundary again from the new position. */
#define QUAVR_AT_NOW 0u  /* the first song time not yet played */
#define QUAVR_AT_BEAT 1u /* the next beat */
#define QUAVR_AT_BAR 2u  /* the next bar line */
/* the next marker event; QUAVR_AT_MARKER_INDEX(i): marker i only, in this pass or a later one
 * (dropped, QUAVR_EVENT_DROPPED, once no loop can bring the song back to it) */
#define QUAVR_AT_MARKER 3u
/* the next loop end (the innermost of nested loops ending first), whether its pass jumps there or
 * not; a song switch, jump or stop there takes the jump's place (an exit cue). No loop ahead: the
 * song's end */
#define QUAVR_AT_LOOP_END 4u
#define QUAVR_AT_END 5u /* the song's end (QUAVR_INFO_LENGTH) */
#define QUAVR_AT_BEATS(n) (QUAVR_AT_BEAT | ((uint32_t)(n)&0xFFu) << 8) /* every n-th beat */
#define QUAVR_AT_BARS(n) (QUAVR_AT_BAR | ((uint32_t)(n)&0xFFu) << 8)   /* every n-th bar */
#define QUAVR_AT_MARKER_INDEX(i) (QUAVR_AT_MARKER | ((uint32_t)(i) + 1u) << 16) /* i < 65535 */

/* What happens to the notes sounding at a song switch or jump (`flags`). Both release the
 * sustain, sostenuto, soft and hold pedals on every channel the old song used, after the notes. */
#define QUAVR_TAIL_CUT 0u /* note-offs for every sounding note at the boundary (the default) */
/* each sounding note ends after what was left of its written length, its note-off sent then (one
 * whose note-off never comes: at once) */
#define QUAVR_TAIL_RING 1u
/* A queued song rises from volume 0 to the host's volume over `ms` (1-65535) of playing. */
#define QUAVR_FADE_IN(ms) (((uint32_t)(ms)&0xFFFFu) << 16)

/* A device holds at most one transport action (a song, a jump or a stop), one fade and one
 * volume change per channel; a new call of the same kind replaces what is pending (per channel
 * for bgmFadeChannels), with QUAVR_EVENT_DROPPED. At a boundary the order is fixed: the old
 * song's events before it, the tail, the chase, then the events at it; a fade and channel volumes
 * due at the same boundary follow at once. On a render device an action happens at the
 * boundary's frame, floor(t * rate / tempo) as every event, inside the bgmRender that covers it;
 * on a port device in the tick that plays the song up to it, so there the audible error is the
 * timer's lateness. Pause freezes the queue; bgmStop, bgmPlay, closing the device, a queued
 * stop and the song's end without a loop drop it (QUAVR_EVENT_DROPPED); an action queued for
 * the end (or a loop end there) takes effect first. Each returns 0, or -1 (nothing changed) for
 * a bad handle, an unknown kind, flag or `then`, a marker index past the markers or one no pass
 * reaches again. */

/* At `when`, the song playing ends (its tail as `flags` says) and `song` binds and plays from
 * `entryMs` with the state a seek there sends. `entryMs` QUAVR_NONE: the boundary's bar, beat
 * and place in the beat in `song`, so arrangements of one theme switch in place (a beat past the
 * bar's last is its last; a bar past its bars: its loop start, else 0). The tempo setting,
 * channel mask and channel volumes stay; the running fade ends with the old song; `song` starts
 * at the host's volume, or rises from 0 to it with QUAVR_FADE_IN. `song` may be the one playing.
 * Until it plays, `song` is held like a bound song: bgmDeleteSong refuses it, and no other device
 * can play it. On an Idle device `song` plays at once. -1 also for a song that is not loaded or
 * is held elsewhere. */
QUAVR_API int32_t QUAVR_CALL bgmQueueSong(QuavrDevice device, QuavrSong song, uint32_t when,
                                          uint32_t entryMs, uint32_t flags);
/* At `when`, the same song goes on at `targetMs` (QUAVR_INFO_MARKER_TIME, _BAR_TIME,
 * _BRANCH_TIME...) with the state a seek there sends; loops are entered as bgmSeek enters them.
 * `flags`: QUAVR_TAIL_. -1 also when no song is bound (Idle). */
QUAVR_API int32_t QUAVR_CALL bgmQueueJump(QuavrDevice device, uint32_t when, uint32_t targetMs,
                                          uint32_t flags);
/* At `when`, the song stops as bgmStop stops it; what else is queued is dropped. -1 when Idle. */
QUAVR_API int32_t QUAVR_CALL bgmQueueStop(QuavrDevice device, uint32_t when);
/* At `when`, bgmFade(device, percent, ms, then) begins, with its first step. -1 when Idle. */
QUAVR_API int32_t QUAVR_CALL bgmQueueFade(QuavrDevice device, uint32_t when, uint32_t percent,
                                          uint32_t ms, uint32_t then);
/* Drops everything queued (QUAVR_EVENT_DROPPED when there was something). */
QUAVR_API int32_t QUAVR_CALL bgmCancelQueued(QuavrDevice device);
/* Layers: at `when`, each channel of `mask` (bit 0 channel 1) moves its own volume to `percent`
 * (0-100, clamped) over `ms` of playing, a step each tick, with its first step at once. A
 * channel's CC7 goes out scaled by it on top of the device volume, so it works on any port.
 * Channel volumes belong to the device: they outlast songs, stops and plays (100 when it
 * opens); QUAVR_PLAY_CHANNEL_VOLUME reads them. On an Idle device they are set at once. */
QUAVR_API int32_t QUAVR_CALL bgmFadeChannels(QuavrDevice device, uint32_t when, uint32_t mask,
                                             uint32_t percent, uint32_t ms);

#ifdef __cplusplus
}
#endif

#endif /* QUAVR_H */
