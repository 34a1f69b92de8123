"""Quavr from Python: Standard MIDI Files as background music, through ctypes over the C library.

    import quavr
    with quavr.Song("theme.mid") as song, quavr.PortDevice() as device:
        device.play(song)

The library is the first that loads of: the file named by QUAVR_LIBRARY, the copy bundled with
this package (a platform wheel has one), and the system's libquavr.so.0 or QUAVR.DLL.
Every failure of a call raises QuavrError with the library's text and code.
"""

from ._library import LibraryNotFoundError, QuavrError, SongEvent, library
from .constants import (LOOP_AS_FILE, METER_NOMINAL, MIDI_MAPPER, NONE, At, Event, Fade, Info,
                        LoopStyle, PlayInfo, RenderFormat, SongFormat, State, Tail, Text, at_bars,
                        at_beats, at_marker, bar_of, beat_fraction_of, beat_of, fade_in)
from .device import Device, PortDevice, RenderDevice, Sink
from .song import Loop, Marker, Song

__version__ = "0.10"

__all__ = ["Song", "Marker", "Loop", "Device", "PortDevice", "RenderDevice", "Sink", "QuavrError",
           "LibraryNotFoundError", "library", "library_version", "State", "SongFormat", "Info",
           "Text", "LoopStyle", "Fade", "PlayInfo", "Event", "RenderFormat", "NONE",
           "LOOP_AS_FILE", "MIDI_MAPPER", "METER_NOMINAL", "SongEvent", "At", "Tail", "at_beats",
           "at_bars", "at_marker", "fade_in", "bar_of", "beat_of", "beat_fraction_of"]


def library_version() -> tuple[int, int, int]:
    """The loaded library's version: (major, minor, patch)."""
    version = library().bgmGetVersion()
    return version >> 16, (version >> 8) & 0xFF, version & 0xFF
