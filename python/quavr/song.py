"""Songs: a loaded MIDI file behind a song handle."""

from __future__ import annotations

import ctypes
import os
import weakref
from typing import Iterator, NamedTuple

from ._library import SongEvent, library
from .constants import NONE, Info, LoopStyle, SongFormat, Text

__all__ = ["Song", "Marker", "Loop"]


class Marker(NamedTuple):
    """A timed text of a song: a marker or a lyric."""

    time_ms: int
    text: str


class Loop(NamedTuple):
    """A loop in force: its start and end in ms, and its count as the file writes it (0
    forever)."""

    start_ms: int
    end_ms: int
    count: int


def _delete(handle: int) -> None:
    try:
        library().bgmDeleteSong(handle)
    except Exception:  # still bound to a device that outlives it: freed with the process
        pass


class Song:
    """A song loaded from a file path, or from bytes (`bytes`, `bytearray`, `memoryview`).

    Texts are decoded as Latin-1, which keeps every byte as the file stores it
    (`text.encode("latin-1")` gives them back); `text()` gives the bytes themselves. The song is
    freed by `delete()`, at the end of a `with` block, or when it is collected.
    """

    def __init__(self, source: str | os.PathLike[str] | bytes | bytearray | memoryview) -> None:
        lib = library()
        if isinstance(source, (str, os.PathLike)):
            handle = lib.bgmGetSongFile(os.fsencode(source))
        else:
            data = bytes(source)  # the library copies it anyway
            handle = lib.bgmGetSongMem(data, len(data))
        self._adopt(handle)

    @classmethod
    def from_resource(cls, name: str | int, module: int | None = None) -> Song:
        """A song from an RCDATA resource `name` (a name, or an integer id) of `module` (None:
        the program itself)."""
        song = cls.__new__(cls)
        key = name.encode() if isinstance(name, str) else name
        song._adopt(library().bgmGetSongRsc(module, key))
        return song

    def _adopt(self, handle: int) -> None:
        self._handle = handle
        self._finalizer = weakref.finalize(self, _delete, handle)

    @property
    def handle(self) -> int:
        """The song handle, for calls of the C API."""
        return self._handle

    def delete(self) -> None:
        """Frees the song; QuavrError while it is bound to a device."""
        if self._finalizer.alive:
            library().bgmDeleteSong(self._handle)
            self._finalizer.detach()

    def __enter__(self) -> Song:
        return self

    def __exit__(self, *exception: object) -> None:
        self.delete()

    def info(self, what: Info | int, index: int = 0) -> int | None:
        """A fact of the song (bgmGetSongInfo); None where the library gives QUAVR_NONE."""
        value = library().bgmGetSongInfo(self._handle, what, index)
        return None if value == NONE else value

    def text(self, kind: Text | int, index: int = 0) -> bytes | None:
        """A text of the song as the file stores it (bgmGetSongText); None where there is
        none."""
        lib = library()
        length = lib.bgmGetSongText(self._handle, kind, index, None, 0)
        if length < 0:
            return None
        buffer = ctypes.create_string_buffer(length + 1)
        lib.bgmGetSongText(self._handle, kind, index, buffer, len(buffer))
        return buffer.raw[:length]

    def _texts(self, kind: Text) -> list[str]:
        found = []
        while (text := self.text(kind, len(found))) is not None:
            found.append(text.decode("latin-1"))
        return found

    def _timed(self, kind: Text, count: Info, time: Info) -> list[Marker]:
        return [Marker(self.info(time, i) or 0, (self.text(kind, i) or b"").decode("latin-1"))
                for i in range(self.info(count) or 0)]

    @property
    def length_ms(self) -> int:
        """The song's length in ms."""
        return library().bgmGetSongLength(self._handle)

    @property
    def format(self) -> SongFormat:
        return SongFormat(self.info(Info.FORMAT))

    @property
    def tracks(self) -> int:
        return self.info(Info.TRACKS) or 0

    @property
    def division(self) -> int:
        return self.info(Info.DIVISION) or 0

    @property
    def events(self) -> int:
        """The events of all tracks."""
        return self.info(Info.EVENTS) or 0

    @property
    def songs(self) -> int:
        """The songs in the file: more than 1 for an Extended MIDI collection (see select)."""
        return self.info(Info.SONGS) or 0

    @property
    def title(self) -> str | None:
        title = self.text(Text.TITLE)
        return None if title is None else title.decode("latin-1")

    @property
    def copyrights(self) -> list[str]:
        return self._texts(Text.COPYRIGHT)

    @property
    def track_names(self) -> list[str]:
        return self._texts(Text.TRACK_NAME)

    @property
    def markers(self) -> list[Marker]:
        return self._timed(Text.MARKER, Info.MARKERS, Info.MARKER_TIME)

    @property
    def lyrics(self) -> list[Marker]:
        return self._timed(Text.LYRIC, Info.LYRICS, Info.LYRIC_TIME)

    @property
    def loops(self) -> list[Loop]:
        """The loops in force, in order of their start."""
        return [Loop(self.info(Info.LOOP_START, i) or 0, self.info(Info.LOOP_END, i) or 0,
                     self.info(Info.LOOP_COUNT, i) or 0)
                for i in range(self.info(Info.LOOPS) or 0)]

    def walk(self, first: int = 0, chunk: int = 4096) -> Iterator[SongEvent]:
        """The song's events from event `first` on (bgmGetSongEvents), read `chunk` at a time:
        all tracks merged in the order a device sends them, with its times."""
        lib = library()
        while True:
            events = (SongEvent * chunk)()  # new for each chunk: those yielded stay as they are
            got = lib.bgmGetSongEvents(self._handle, first, events, chunk)
            yield from events[:got]
            if got < chunk:
                return
            first += got

    def event_data(self, index: int) -> bytes:
        """The bytes of event `index` (bgmGetSongEventData): a sysex event's after its F0, a
        meta event's data, a short message's."""
        lib = library()
        length = lib.bgmGetSongEventData(self._handle, index, None, 0)
        buffer = ctypes.create_string_buffer(length + 1)
        lib.bgmGetSongEventData(self._handle, index, buffer, len(buffer))
        return buffer.raw[:length]

    def select(self, index: int) -> None:
        """Makes song `index` of a collection the one this handle plays (bgmSelectSong)."""
        library().bgmSelectSong(self._handle, index)

    def set_loop_style(self, styles: LoopStyle | int) -> None:
        """Which conventions of the file set the song's loops (bgmSetLoopStyle)."""
        library().bgmSetLoopStyle(self._handle, styles)

    def set_loop_points(self, start_ms: int | None, end_ms: int | None = None) -> None:
        """Explicit loop points in ms (bgmSetLoopPoints); end None is the song's end, both None
        clear them."""
        library().bgmSetLoopPoints(self._handle, NONE if start_ms is None else start_ms,
                                   NONE if end_ms is None else end_ms)

    def __repr__(self) -> str:
        return f"<quavr.Song {self._handle:#x}, {self.length_ms} ms>"
