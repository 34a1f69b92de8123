"""Finding and loading the Quavr library, and its exports as checked ctypes functions.

The export table below is the whole C API as this package sees it: a new export is one line.
Each line names how a failure shows in the result, so that every call raises QuavrError the same
way, with the library's own text where it gives one.
"""

from __future__ import annotations

import ctypes
import os
import sys
import threading
from ctypes import POINTER, c_char_p, c_int32, c_uint8, c_uint32, c_void_p
from pathlib import Path
from typing import Any, Callable

__all__ = ["QuavrError", "LibraryNotFoundError", "Library", "library", "places", "MessageSink",
           "SongEvent"]

# 32-bit Windows: QUAVR.DLL is stdcall with decorated names. Everywhere else one convention.
_STDCALL = sys.platform == "win32" and ctypes.sizeof(c_void_p) == 4
_FUNCTYPE = ctypes.WINFUNCTYPE if _STDCALL else ctypes.CFUNCTYPE  # type: ignore[attr-defined]
_NAME = "QUAVR.DLL" if sys.platform == "win32" else "libquavr.so.0"

# void sink(void* user, uint32_t frame, const uint8_t* bytes, uint32_t length)
MessageSink = _FUNCTYPE(None, c_void_p, c_uint32, POINTER(c_uint8), c_uint32)


class SongEvent(ctypes.Structure):
    """One event of a song as bgmGetSongEvents lists it (QuavrSongEvent): song time `timeMs`,
    its track's `tick`, `track`, the data `length`, a note-on's `endMs`, `barBeat` packed as
    PlayInfo.BAR_BEAT (see bar_of), `status` (0xF0 sysex, 0xF7 escape, 0xFF meta), a meta
    event's `type`, a short message's `data` bytes."""

    _fields_ = [("timeMs", c_uint32), ("tick", c_uint32), ("track", c_uint32),
                ("length", c_uint32), ("endMs", c_uint32), ("barBeat", c_uint32),
                ("status", c_uint8), ("type", c_uint8), ("data", c_uint8 * 2),
                ("reserved", c_uint32)]

    @property
    def message(self) -> bytes | None:
        """A short message's bytes, its status included; None for sysex, escape and meta."""
        if self.status in (0xF0, 0xF7, 0xFF):
            return None
        return bytes([self.status, *self.data])[:self.length]

    def __repr__(self) -> str:
        return (f"<SongEvent {self.timeMs} ms track {self.track} status {self.status:#04x} "
                f"length {self.length}>")


class QuavrError(Exception):
    """A Quavr call failed: `function` is the C function, `code` its result or, for the calls
    that set it, the MIDI result uMidiStatus, and `text` the library's words for it."""

    def __init__(self, function: str, code: int, text: str) -> None:
        super().__init__(f"{function}: {text} ({code})")
        self.function = function
        self.code = code
        self.text = text


class LibraryNotFoundError(OSError):
    """No Quavr library could be loaded; the message names each place looked and why."""


# How a failure shows in a result: each rule makes the errcheck of the functions that use it,
# from the function's name and the library it belongs to.
Rule = Callable[[str, "Library"], Callable[..., Any]]


def _midi_status(name: str, lib: Library) -> Callable[..., Any]:
    """0 is a failure, and uMidiStatus with the library's text says why (opening a device)."""

    def check(result: int, function: Any, arguments: tuple) -> int:
        if result == 0:
            raise QuavrError(name, lib.status.value, lib.error_text())
        return result

    return check


def _nonzero_result(name: str, lib: Library) -> Callable[..., Any]:
    """A MIDI result: anything but 0 is a failure, with the library's text when uMidiStatus
    holds it (a bad handle leaves uMidiStatus alone)."""

    def check(result: int, function: Any, arguments: tuple) -> int:
        if result != 0:
            said = lib.error_text() if lib.status.value == result else f"MIDI result {result}"
            raise QuavrError(name, result, said)
        return result

    return check


def _equal_to(failure: int, what: str) -> Rule:
    def rule(name: str, lib: Library) -> Callable[..., Any]:
        def check(result: int, function: Any, arguments: tuple) -> int:
            if result == failure:
                shown = ", ".join(str(a) if isinstance(a, int) else "…" for a in arguments)
                raise QuavrError(name, result, f"{what} ({shown})")
            return result

        return check

    return rule


_MIDI = _midi_status
_RESULT = _nonzero_result
_NO_SONG = _equal_to(0, "no song was loaded")
_REFUSED = _equal_to(-1, "refused: the handle or an argument is not valid here")
_NONE = _equal_to(0xFFFFFFFF, "refused: the handle names no open device")


def _kept(name: str, lib: Library) -> Callable[..., Any]:
    """bgmDeleteSong: 0 when freed, else the song itself."""

    def check(result: int, function: Any, arguments: tuple) -> int:
        if result != 0:
            raise QuavrError(name, result, "the song was not freed: it is bound to a device, or "
                             "names no loaded song")
        return result

    return check


_KEPT = _kept
u32, i32, ptr, text = c_uint32, c_int32, c_void_p, c_char_p

# name, result, arguments, failure (None: every result is an answer)
EXPORTS: tuple[tuple[str, Any, tuple[Any, ...], Rule | None], ...] = (
    ("bgmOpenMidiDev", u32, (u32, u32), _MIDI),
    ("bgmCloseMidiDev", u32, (u32,), _RESULT),
    ("bgmMidiStatus", u32, (u32,), None),
    ("bgmGetMidiErrorText", u32, (ptr, u32), None),
    ("bgmGetSongFile", u32, (text,), _NO_SONG),
    ("bgmGetSongRsc", u32, (ptr, ptr), _NO_SONG),
    ("bgmDeleteSong", u32, (u32,), _KEPT),
    ("bgmGetSongLength", u32, (u32,), None),
    ("bgmGetSongMem", u32, (ptr, u32), _NO_SONG),
    ("bgmGetSongInfo", u32, (u32, u32, u32), None),
    ("bgmGetSongText", i32, (u32, u32, u32, ptr, u32), None),
    ("bgmSetLoopStyle", i32, (u32, u32), _REFUSED),
    ("bgmSetLoopPoints", i32, (u32, u32, u32), _REFUSED),
    ("bgmSelectSong", i32, (u32, u32), _REFUSED),
    ("bgmPlay", i32, (u32, u32), _REFUSED),
    ("bgmStop", i32, (u32,), _REFUSED),
    ("bgmPause", i32, (u32,), _REFUSED),
    ("bgmSetRepeat", i32, (u32, i32), None),
    ("bgmGetRepeat", i32, (u32,), None),
    ("bgmBgmStatus", i32, (u32,), _REFUSED),
    ("bgmGetPosition", u32, (u32,), _NONE),
    ("bgmSeek", i32, (u32, u32), _REFUSED),
    ("bgmSetLoopCount", i32, (u32, i32), _REFUSED),
    ("bgmSetTempo", i32, (u32, u32), _REFUSED),
    ("bgmSetVolume", i32, (u32, u32), _REFUSED),
    ("bgmFade", i32, (u32, u32, u32, u32), _REFUSED),
    ("bgmFadeAt", i32, (u32, u32, u32, u32, u32), _REFUSED),
    ("bgmSetChannelMask", i32, (u32, u32), _REFUSED),
    ("bgmGetPlayInfo", u32, (u32, u32), None),
    ("bgmGetVersion", u32, (), None),
    ("bgmOpenRenderDev", u32, (u32, text), _MIDI),
    ("bgmRender", i32, (u32, ptr, u32, u32), _REFUSED),
    ("bgmSetMessageSink", i32, (u32, MessageSink, ptr), _REFUSED),
    ("bgmGetSongEvents", i32, (u32, u32, POINTER(SongEvent), u32), _REFUSED),
    ("bgmGetSongEventData", i32, (u32, u32, ptr, u32), _REFUSED),
    ("bgmQueueSong", i32, (u32, u32, u32, u32, u32), _REFUSED),
    ("bgmQueueJump", i32, (u32, u32, u32, u32), _REFUSED),
    ("bgmQueueStop", i32, (u32, u32), _REFUSED),
    ("bgmQueueFade", i32, (u32, u32, u32, u32, u32), _REFUSED),
    ("bgmCancelQueued", i32, (u32,), _REFUSED),
    ("bgmFadeChannels", i32, (u32, u32, u32, u32, u32), _REFUSED),
    ("bgmGetDeviceText", i32, (u32, u32, ptr, u32), None),
)


def _symbol(name: str, arguments: tuple[Any, ...]) -> str:
    """The exported name: stdcall-decorated on 32-bit Windows, where each argument is 4 bytes."""
    return f"_{name}@{4 * len(arguments)}" if _STDCALL else name


def _missing(name: str, path: str) -> Callable[..., Any]:
    def call(*arguments: Any) -> Any:
        raise QuavrError(name, -1, f"{path} has no such export: it is older than this package")

    return call


class Library:
    """The loaded library: each export of EXPORTS as an attribute of the same name, its failures
    raised as QuavrError; `status` is uMidiStatus, `path` where the library was loaded from."""

    def __init__(self, dll: ctypes.CDLL, path: str) -> None:
        self.dll = dll
        self.path = path
        for name, result, arguments, failure in EXPORTS:
            try:
                function = dll[_symbol(name, arguments)]
            except AttributeError:
                setattr(self, name, _missing(name, path))
                continue
            function.restype = result
            function.argtypes = arguments
            if failure is not None:
                function.errcheck = failure(name, self)
            setattr(self, name, function)
        self.status = c_uint32.in_dll(dll, "uMidiStatus")

    def __getattr__(self, name: str) -> Any:  # the exports, for type checkers
        raise AttributeError(name)

    def error_text(self) -> str:
        """The library's text for uMidiStatus."""
        buffer = ctypes.create_string_buffer(512)
        self.bgmGetMidiErrorText(buffer, len(buffer))
        return buffer.value.decode(errors="replace")


def places() -> list[tuple[str, str]]:
    """Where the library is looked for, in order, each as (what it is, path or name)."""
    found = []
    if os.environ.get("QUAVR_LIBRARY"):
        found.append(("QUAVR_LIBRARY", os.environ["QUAVR_LIBRARY"]))
    found.append(("the copy bundled with the package", str(Path(__file__).parent / _NAME)))
    found.append(("the system's", _NAME))
    return found


def load(where: list[tuple[str, str]]) -> Library:
    """The first library of `where` that loads; LibraryNotFoundError naming each one if none."""
    loader = ctypes.WinDLL if _STDCALL else ctypes.CDLL  # type: ignore[attr-defined]
    tried = []
    for what, path in where:
        if os.path.dirname(path) and not os.path.exists(path):
            tried.append(f"{what}, {path}: no such file")
            continue
        try:
            return Library(loader(path), path)
        except OSError as error:
            tried.append(f"{what}, {path}: {error}")
    raise LibraryNotFoundError("no Quavr library could be loaded; looked at:\n  " +
                               "\n  ".join(tried))


_loaded: Library | None = None
_lock = threading.Lock()


def library() -> Library:
    """The Quavr library, loaded on first use from the first of places() that loads."""
    global _loaded
    with _lock:
        if _loaded is None:
            _loaded = load(places())
        return _loaded
