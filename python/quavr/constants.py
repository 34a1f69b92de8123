"""The values quavr.h names, as Python enums."""

from __future__ import annotations

import enum

__all__ = ["State", "SongFormat", "Info", "Text", "LoopStyle", "Fade", "PlayInfo", "Event",
           "RenderFormat", "At", "Tail", "NONE", "LOOP_AS_FILE", "MIDI_MAPPER", "METER_NOMINAL",
           "at_beats", "at_bars", "at_marker", "fade_in", "bar_of", "beat_of", "beat_fraction_of"]

NONE = 0xFFFFFFFF  # QUAVR_NONE: a time or value that does not exist
LOOP_AS_FILE = -2  # QUAVR_LOOP_AS_FILE: every loop plays as the file counts
MIDI_MAPPER = 0xFFFFFFFF
METER_NOMINAL = 0x10000  # QUAVR_METER_NOMINAL: an Info.METER the file does not give


class State(enum.IntEnum):
    """A device's transport state."""

    IDLE = 0
    READY = 1
    PLAYING = 2
    PAUSED = 16


class SongFormat(enum.IntEnum):
    """What QUAVR_INFO_FORMAT reports: the file's format."""

    SMF0 = 0
    SMF1 = 1
    SMF2 = 2
    XMI = 3
    MUS = 4
    HMP = 5
    HMI = 6


class Info(enum.IntEnum):
    """What Song.info reports (QUAVR_INFO_)."""

    FORMAT = 0
    TRACKS = 1
    DIVISION = 2
    LENGTH = 3
    EVENTS = 4
    TRACK_LENGTH = 5
    LOOP_START = 6
    LOOP_END = 7
    LOOP_STYLE = 8
    MARKERS = 9
    MARKER_TIME = 10
    LOOPS = 11
    LOOP_COUNT = 12
    SONGS = 13
    LYRICS = 14
    LYRIC_TIME = 15
    BARS = 16
    BAR_TIME = 17
    METER = 18
    BEAT_TIME = 19
    BRANCHES = 20
    BRANCH_TIME = 21
    BRANCH_ID = 22
    METERS = 23
    METER_BAR = 24
    TICK_RATE = 32
    TEMPO = 33


class Text(enum.IntEnum):
    """What Song.text reads (QUAVR_TEXT_)."""

    TITLE = 0
    COPYRIGHT = 1
    TRACK_NAME = 2
    MARKER = 3
    LYRIC = 4


class DeviceText(enum.IntEnum):
    """What device_names, unlisted_devices and output_error read (QUAVR_DEVICE_)."""

    NAME = 0
    UNLISTED = 1
    ERROR = 2


class LoopStyle(enum.IntFlag):
    """The loop conventions of a file that set a song's loops (QUAVR_LOOP_)."""

    NONE = 0
    MARKERS = 1
    CC111 = 2
    CC116_117 = 4
    EMIDI = 8
    CC110_111 = 16
    TOUHOU = 32
    XMI = 64


class Fade(enum.IntEnum):
    """What a fade does when it reaches its volume (QUAVR_FADE_)."""

    CONTINUE = 0
    PAUSE = 1
    STOP = 2


class PlayInfo(enum.IntEnum):
    """What Device.play_info reports (QUAVR_PLAY_)."""

    LOOPS_DONE = 0
    LOOP_COUNT = 1
    VOLUME = 2
    TEMPO = 3
    MUTED = 4
    EVENTS = 5
    MARKER = 6
    BAR_BEAT = 7
    TO_NEXT_BEAT = 8
    TO_NEXT_BAR = 9
    CHANNEL_VOLUME = 16  # + the channel, 0-15


class Event(enum.IntFlag):
    """What happened since the last read of Device.events() (QUAVR_EVENT_)."""

    NONE = 0
    ENDED = 1
    LOOPED = 2
    FADE_DONE = 4
    MARKER = 8
    BEAT = 16
    BAR = 32
    QUEUED = 64
    DROPPED = 128


class RenderFormat(enum.IntFlag):
    """How RenderDevice writes audio (QUAVR_RENDER_): interleaved stereo float or int16, written
    over the buffer or, with MIX, added to it."""

    NONE = 0
    F32 = 1
    S16 = 2
    MIX = 0x100


class At(enum.IntEnum):
    """The boundary a queued action waits for (QUAVR_AT_): `when` of the Device.queue_ calls.
    at_beats, at_bars and at_marker make the rest."""

    NOW = 0
    BEAT = 1
    BAR = 2
    MARKER = 3
    LOOP_END = 4
    END = 5


class Tail(enum.IntFlag):
    """What happens to the notes sounding at a song switch or jump (QUAVR_TAIL_)."""

    CUT = 0
    RING = 1


def at_beats(every: int) -> int:
    """QUAVR_AT_BEATS: every `every`-th beat, counted from the song's first."""
    return At.BEAT | (every & 0xFF) << 8


def at_bars(every: int) -> int:
    """QUAVR_AT_BARS: every `every`-th bar, counted from the song's first."""
    return At.BAR | (every & 0xFF) << 8


def at_marker(index: int) -> int:
    """QUAVR_AT_MARKER_INDEX: marker `index` (below 65535) only."""
    return At.MARKER | ((index + 1) & 0xFFFF) << 16


def fade_in(ms: int) -> int:
    """QUAVR_FADE_IN: a queued song's flag to rise from volume 0 over `ms` (1-65535)."""
    return (ms & 0xFFFF) << 16


def bar_of(bar_beat: int) -> int:
    """QUAVR_BAR: the bar of a packed PlayInfo.BAR_BEAT or SongEvent.barBeat."""
    return bar_beat >> 16


def beat_of(bar_beat: int) -> int:
    """QUAVR_BEAT: the beat in the bar."""
    return (bar_beat >> 8) & 0xFF


def beat_fraction_of(bar_beat: int) -> int:
    """QUAVR_BEAT_FRACTION: how far into the beat, in 256ths."""
    return bar_beat & 0xFF
