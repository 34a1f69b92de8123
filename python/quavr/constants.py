"""The values quavr.h names, as Python enums."""

from __future__ import annotations

import enum

__all__ = ["State", "SongFormat", "Info", "Text", "LoopStyle", "Fade", "PlayInfo", "Event",
           "RenderFormat", "NONE", "LOOP_AS_FILE", "MIDI_MAPPER"]

NONE = 0xFFFFFFFF  # QUAVR_NONE: a time or value that does not exist
LOOP_AS_FILE = -2  # QUAVR_LOOP_AS_FILE: every loop plays as the file counts
MIDI_MAPPER = 0xFFFFFFFF


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


class Text(enum.IntEnum):
    """What Song.text reads (QUAVR_TEXT_)."""

    TITLE = 0
    COPYRIGHT = 1
    TRACK_NAME = 2
    MARKER = 3
    LYRIC = 4


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


class Event(enum.IntFlag):
    """What happened since the last read of Device.events() (QUAVR_EVENT_)."""

    NONE = 0
    ENDED = 1
    LOOPED = 2
    FADE_DONE = 4
    MARKER = 8


class RenderFormat(enum.IntFlag):
    """How RenderDevice writes audio (QUAVR_RENDER_): interleaved stereo float or int16, written
    over the buffer or, with MIX, added to it."""

    NONE = 0
    F32 = 1
    S16 = 2
    MIX = 0x100
