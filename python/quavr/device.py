"""Devices: a MIDI output port with its own timer, or a render device the host pulls from."""

from __future__ import annotations

import ctypes
import os
import weakref
from typing import Any, Callable

from ._library import MessageSink, library
from .constants import NONE, At, Event, Fade, PlayInfo, RenderFormat, State, Tail
from .song import Song

__all__ = ["Device", "PortDevice", "RenderDevice", "Sink"]

Sink = Callable[[int, bytes], Any]
"""A message sink: called with each message's frame inside the render call and its bytes."""


class _Held:
    """What a device's finalizer keeps alive until the library has let go of it: the ctypes
    callback of its sink (freeing it while the library may still call it would crash), and an
    exception the sink raised, for the render call to raise."""

    def __init__(self) -> None:
        self.callback: Any = None
        self.error: BaseException | None = None


def _close(handle: int, held: _Held) -> int:
    try:
        return library().bgmCloseMidiDev(handle)
    finally:
        held.callback = None  # the device is gone: nothing calls the sink any more


class Device:
    """What port and render devices share: the transport and the playback controls. Closed by
    `close()`, at the end of a `with` block, or when it is collected."""

    def __init__(self, handle: int) -> None:
        self._handle = handle
        self._song: Song | None = None  # the song bound: kept alive while the device holds it
        self._queued: list[Song] = []  # songs queued since the last play or stop: kept alive
        self._held = _Held()
        self._finalizer = weakref.finalize(self, _close, handle, self._held)

    @property
    def handle(self) -> int:
        """The device handle, for calls of the C API."""
        return self._handle

    def close(self) -> None:
        """Stops playback and closes the device; QuavrError with the port's close result when it
        fails."""
        if self._finalizer.alive:
            try:
                self._finalizer()
            finally:
                self._song, self._queued = None, []

    def __enter__(self) -> Device:
        return self

    def __exit__(self, *exception: object) -> None:
        self.close()

    # ---- Transport
    def play(self, song: Song) -> State:
        """Binds `song` to the Idle device and starts it; returns the state it found."""
        state = State(library().bgmPlay(self._handle, song.handle))
        if state == State.IDLE:
            self._song, self._queued = song, []
        return state

    def stop(self) -> State:
        """Stops playback and unbinds the song."""
        state = State(library().bgmStop(self._handle))
        self._song, self._queued = None, []
        return state

    def pause(self) -> State:
        """Pauses a playing device, or resumes a paused one; returns the state it leaves."""
        return State(library().bgmPause(self._handle))

    @property
    def status(self) -> State:
        return State(library().bgmBgmStatus(self._handle))

    @property
    def song(self) -> Song | None:
        """The song this device was last given to play, until it stops."""
        return self._song

    @property
    def repeat(self) -> bool:
        return library().bgmGetRepeat(self._handle) != 0

    @repeat.setter
    def repeat(self, on: bool) -> None:
        library().bgmSetRepeat(self._handle, 1 if on else 0)

    # ---- Playback control
    @property
    def position_ms(self) -> int:
        """The song time the next tick plays up to; 0 when no song is bound."""
        return library().bgmGetPosition(self._handle)

    def seek(self, ms: int) -> None:
        library().bgmSeek(self._handle, ms)

    def play_info(self, what: PlayInfo | int) -> int:
        """A fact of the device's playback (bgmGetPlayInfo)."""
        return library().bgmGetPlayInfo(self._handle, what)

    @property
    def loop_count(self) -> int:
        """How many more times the outermost loop plays: -1 forever, or LOOP_AS_FILE."""
        count = self.play_info(PlayInfo.LOOP_COUNT)
        return count - (1 << 32) if count >= 1 << 31 else count

    @loop_count.setter
    def loop_count(self, count: int) -> None:
        library().bgmSetLoopCount(self._handle, count)

    @property
    def loops_done(self) -> int:
        return self.play_info(PlayInfo.LOOPS_DONE)

    @property
    def tempo(self) -> int:
        """Playback speed in permille of the written one."""
        return self.play_info(PlayInfo.TEMPO)

    @tempo.setter
    def tempo(self, permille: int) -> None:
        library().bgmSetTempo(self._handle, permille)

    @property
    def volume(self) -> int:
        """The device's volume in percent, during a fade too."""
        return self.play_info(PlayInfo.VOLUME)

    @volume.setter
    def volume(self, percent: int) -> None:
        library().bgmSetVolume(self._handle, percent)

    def fade(self, percent: int, ms: int, then: Fade = Fade.CONTINUE) -> None:
        """Moves the volume to `percent` over `ms` of playing, then does `then`."""
        library().bgmFade(self._handle, percent, ms, then)

    def fade_at(self, at_ms: int, percent: int, ms: int, then: Fade = Fade.CONTINUE) -> None:
        """The same fade, begun at song time `at_ms` of the last pass."""
        library().bgmFadeAt(self._handle, at_ms, percent, ms, then)

    @property
    def muted(self) -> int:
        """The channel mask: bit n mutes the notes of channel n (0-15)."""
        return self.play_info(PlayInfo.MUTED)

    @muted.setter
    def muted(self, mask: int) -> None:
        library().bgmSetChannelMask(self._handle, mask)

    def events(self) -> Event:
        """What happened since the last read; reading clears it."""
        return Event(self.play_info(PlayInfo.EVENTS))

    @property
    def marker(self) -> int | None:
        """The index of the last marker played, None before the first."""
        index = self.play_info(PlayInfo.MARKER)
        return None if index == NONE else index

    @property
    def bar_beat(self) -> int | None:
        """Where the song is, packed (see bar_of, beat_of); None when Idle."""
        place = self.play_info(PlayInfo.BAR_BEAT)
        return None if place == NONE else place

    def channel_volume(self, channel: int) -> int:
        """Channel `channel`'s (0-15) own volume in percent (fade_channels)."""
        return self.play_info(PlayInfo.CHANNEL_VOLUME + channel)

    # ---- Music that follows the game: actions queued for a musical boundary. `when` is an At,
    # or made by at_beats, at_bars or at_marker.
    def queue_song(self, song: Song, when: At | int, entry_ms: int | None = 0,
                   flags: Tail | int = Tail.CUT) -> None:
        """At `when`, the song playing ends and `song` plays from `entry_ms` (None: the
        boundary's place in bars and beats). `flags`: a Tail, with fade_in(ms) to rise from 0
        (bgmQueueSong)."""
        library().bgmQueueSong(self._handle, song.handle, when,
                               NONE if entry_ms is None else entry_ms, flags)
        if all(kept is not song for kept in self._queued):
            self._queued.append(song)  # held by the library until it plays, then bound

    def queue_jump(self, when: At | int, target_ms: int, flags: Tail | int = Tail.CUT) -> None:
        """At `when`, the same song goes on at `target_ms` (bgmQueueJump)."""
        library().bgmQueueJump(self._handle, when, target_ms, flags)

    def queue_stop(self, when: At | int) -> None:
        """At `when`, the song stops as stop() stops it (bgmQueueStop)."""
        library().bgmQueueStop(self._handle, when)

    def queue_fade(self, when: At | int, percent: int, ms: int,
                   then: Fade = Fade.CONTINUE) -> None:
        """At `when`, fade(percent, ms, then) begins (bgmQueueFade)."""
        library().bgmQueueFade(self._handle, when, percent, ms, then)

    def cancel_queued(self) -> None:
        """Drops everything queued (bgmCancelQueued)."""
        library().bgmCancelQueued(self._handle)

    def fade_channels(self, when: At | int, mask: int, percent: int, ms: int) -> None:
        """At `when`, each channel of `mask` (bit 0: channel 1) moves its own volume to
        `percent` over `ms` of playing (bgmFadeChannels)."""
        library().bgmFadeChannels(self._handle, when, mask, percent, ms)

    def __repr__(self) -> str:
        return f"<quavr.{type(self).__name__} {self._handle:#x}>"


class PortDevice(Device):
    """A MIDI output device (`device_id`, MIDI_MAPPER for device 0) with its own timer of
    `period_ms`."""

    def __init__(self, device_id: int = 0, period_ms: int = 10) -> None:
        super().__init__(library().bgmOpenMidiDev(device_id, period_ms))


_FRAME_BYTES = {RenderFormat.F32: 8, RenderFormat.S16: 4}  # interleaved stereo float, int16


class RenderDevice(Device):
    """A render device at `rate` Hz: no timer and no port, the host pulls the music with
    `render` or `render_into`. `soundfont` None is the default soundfont, a path that SoundFont 2
    file, and "" no synthesizer at all: the messages go to the sink alone."""

    def __init__(self, rate: int, soundfont: str | os.PathLike[str] | None = None) -> None:
        super().__init__(library().bgmOpenRenderDev(rate, None if soundfont is None
                                                    else os.fsencode(soundfont)))

    def render(self, frames: int, format: RenderFormat = RenderFormat.F32) -> bytearray:
        """The next `frames` frames as new audio of `format`."""
        out = bytearray(frames * _FRAME_BYTES[RenderFormat(format & ~RenderFormat.MIX)])
        self.render_into(out, format, frames=frames)
        return out

    def render_into(self, out: Any, format: RenderFormat | int = RenderFormat.F32, *,
                    frames: int | None = None) -> int:
        """Renders into `out`, a writable buffer (bytearray, array, memoryview, numpy array),
        in place: the library writes the caller's memory, nothing is copied. `frames` defaults
        to as many as `out` holds. On a messages-only device `out` may be None (then `frames`
        is needed). Returns the frames that were song (bgmRender)."""
        pointer = None
        if out is not None:
            view = memoryview(out).cast("B")
            kind = RenderFormat(format & ~RenderFormat.MIX)
            room = view.nbytes // _FRAME_BYTES[kind] if kind in _FRAME_BYTES else 0
            if frames is None:
                frames = room
            elif frames > room:
                raise ValueError(f"{frames} frames do not fit the {view.nbytes} bytes given")
            pointer = (ctypes.c_char * view.nbytes).from_buffer(view)
        elif frames is None:
            raise ValueError("frames is needed when there is no buffer")
        try:
            return library().bgmRender(self._handle, pointer, frames, format)
        finally:
            error, self._held.error = self._held.error, None
            if error is not None:
                raise error

    def set_sink(self, sink: Sink | None) -> None:
        """Hands every message the device sends to `sink(frame, bytes)`, from inside the render
        call, with its frame in that call; None removes it. The sink must not call Quavr. An
        exception it raises comes out of the render call, after the render."""
        held = self._held
        callback = MessageSink()
        if sink is not None:

            def forward(user: Any, frame: int, data: Any, length: int) -> None:
                try:
                    sink(frame, ctypes.string_at(data, length))
                except BaseException as error:  # raised by the render call instead
                    if held.error is None:
                        held.error = error

            callback = MessageSink(forward)
        library().bgmSetMessageSink(self._handle, callback, None)
        held.callback = callback  # the library now calls this one: the one before may go
