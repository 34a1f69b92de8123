"""Quavr from Python: Standard MIDI Files as background music, through ctypes over the C library.

    import quavr
    with quavr.Song("theme.mid") as song, quavr.PortDevice() as device:
        device.play(song)

The library is the first that loads of: the file named by QUAVR_LIBRARY, the copy bundled with
this package (a platform wheel has one), and the system's libquavr.so.0 or QUAVR.DLL.
Every failure of a call raises QuavrError with the library's text and code.
"""

import ctypes

from ._library import LibraryNotFoundError, QuavrError, SongEvent, library
from .constants import (LOOP_AS_FILE, METER_NOMINAL, MIDI_MAPPER, NONE, At, DeviceText, Event,
                        Fade, Info, LoopStyle, PlayInfo, RenderFormat, SongFormat, State, Tail,
                        Text, at_bars, at_beats, at_marker, bar_of, beat_fraction_of, beat_of,
                        fade_in)
from .device import Device, PortDevice, RenderDevice, Sink
from .song import Loop, Marker, Song

__version__ = "0.10"

__all__ = ["Song", "Marker", "Loop", "Device", "PortDevice", "RenderDevice", "Sink", "QuavrError",
           "LibraryNotFoundError", "library", "library_version", "State", "SongFormat", "Info",
           "Text", "LoopStyle", "Fade", "PlayInfo", "Event", "RenderFormat", "NONE",
           "LOOP_AS_FILE", "MIDI_MAPPER", "METER_NOMINAL", "SongEvent", "At", "Tail", "at_beats",
           "at_bars", "at_marker", "fade_in", "bar_of", "beat_of", "beat_fraction_of",
           "DeviceText", "device_names", "unlisted_devices", "output_error"]


def library_version() -> tuple[int, int, int]:
    """The loaded library's version: (major, minor, patch)."""
    version = library().bgmGetVersion()
    return version >> 16, (version >> 8) & 0xFF, version & 0xFF


def _device_text(kind: DeviceText, index: int) -> str | None:
    lib = library()
    length = lib.bgmGetDeviceText(kind, index, None, 0)
    if length < 0:
        return None
    buffer = ctypes.create_string_buffer(length + 1)
    lib.bgmGetDeviceText(kind, index, buffer, len(buffer))
    return buffer.raw[:length].decode("utf-8", "replace")


def _device_texts(kind: DeviceText) -> list[str]:
    found: list[str] = []
    while (text := _device_text(kind, len(found))) is not None:
        found.append(text)
    return found


def device_names() -> list[str]:
    """The output devices' names, in the numbering PortDevice's device_id takes."""
    return _device_texts(DeviceText.NAME)


def unlisted_devices() -> list[str]:
    """The devices left out of device_names, each with why (Linux)."""
    return _device_texts(DeviceText.UNLISTED)


def output_error() -> str | None:
    """The first error an output device met opening or writing its file, or None (Linux)."""
    return _device_text(DeviceText.ERROR, 0)
