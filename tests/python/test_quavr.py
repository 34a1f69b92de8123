"""The quavr package as installed, on messages-only render devices (no audio hardware needed).
Environment: QUAVR_SINK_LOG, the C API's log of a song (sink_log.c); QUAVR_EXAMPLES, the songs."""

import array
import ctypes
import gc
import os
import subprocess
import sys
import weakref
from pathlib import Path

import pytest

import quavr
from quavr import _library

SONG = Path(os.environ["QUAVR_EXAMPLES"]) / "loop_theme.mid"


def c_log(rate, block):
    run = subprocess.run([os.environ["QUAVR_SINK_LOG"], str(SONG), str(rate), str(block)],
                         capture_output=True, text=True, check=True)
    return run.stdout.splitlines()


@pytest.mark.parametrize("rate, blocks", [(44100, [4096]), (48000, [1, 999, 4097, 64, 30000])])
def test_the_sink_gets_the_messages_of_the_c_api_at_their_frames(rate, blocks):
    lines, rendered = [], 0

    def sink(frame, message):
        lines.append(" ".join([str(rendered + frame)] + [f"{b:02X}" for b in message]))

    with quavr.Song(SONG) as song, quavr.RenderDevice(rate, "") as device:
        device.set_sink(sink)
        device.play(song)
        for i in range(100000):
            frames = blocks[i % len(blocks)]
            done = device.render_into(None, quavr.RenderFormat.NONE, frames=frames)
            rendered += frames
            if done < frames:
                break
    assert lines == c_log(rate, 4096) and len(lines) > 100


def raises(call):
    with pytest.raises(quavr.QuavrError) as caught:
        call()
    return caught.value


def test_failures_raise_with_the_librarys_text_and_code():
    error = raises(lambda: quavr.RenderDevice(7999, ""))
    assert (error.function, error.code) == ("bgmOpenRenderDev", 11)
    assert error.text == "A parameter passed to the operation is not valid."
    error = raises(lambda: quavr.RenderDevice(48000, "/nonexistent.sf2"))  # its own words
    said = ctypes.create_string_buffer(512)
    quavr.library().bgmGetMidiErrorText(said, len(said))
    assert error.code != 0
    assert (error.text, error.code) == (said.value.decode(), quavr.library().status.value)
    assert raises(lambda: quavr.Song("/nonexistent.mid")).function == "bgmGetSongFile"
    with quavr.Song(SONG) as song:
        device = quavr.RenderDevice(48000, "")
        device.play(song)
        assert raises(song.delete).function == "bgmDeleteSong"  # bound: not freed
        device.close()
        error = raises(lambda: device.seek(0))
        assert (error.function, error.code) == ("bgmSeek", -1)


def test_a_device_closed_with_its_sink_set_leaves_nothing_behind():
    seen = []
    song = quavr.Song(SONG)
    device = quavr.RenderDevice(48000, "")
    device.set_sink(lambda frame, message: seen.append(frame))  # held by nothing but the device
    gc.collect()
    device.play(song)
    device.render_into(None, frames=48000)
    assert seen, "the sink outlived the caller's references"
    handle, sink = device.handle, device._held.callback
    watched = weakref.ref(sink)
    del device, sink
    gc.collect()
    assert watched() is None
    lib = quavr.library()
    assert raises(lambda: lib.bgmBgmStatus(handle)).code == -1  # closed when it was collected
    assert raises(lambda: lib.bgmRender(handle, None, 100, 0)).code == -1


def test_render_into_writes_the_callers_buffer_in_place():
    with quavr.Song(SONG) as song, quavr.RenderDevice(48000, "") as device:
        device.play(song)
        floats = array.array("f", [1.0] * 2 * 100)
        assert device.render_into(floats) == 100 and set(floats) == {0.0}
        whole = bytearray(b"\x01" * 4 * 60)
        device.render_into(memoryview(whole)[40:], quavr.RenderFormat.S16)
        assert whole[:40] == b"\x01" * 40 and set(whole[40:]) == {0}
        mixed = array.array("h", [7] * 2 * 10)
        device.render_into(mixed, quavr.RenderFormat.S16 | quavr.RenderFormat.MIX)
        assert set(mixed) == {7}  # silence added
        with pytest.raises(ValueError):
            device.render_into(floats, frames=101)
        with pytest.raises(TypeError):
            device.render_into(bytes(800))  # read-only: it cannot be written in place


def test_the_library_is_found_in_order(tmp_path, monkeypatch):
    bundled = Path(_library.__file__).parent / "libquavr.so.0"
    fake = tmp_path / "libfake.so"
    fake.write_bytes(b"not a library")
    copy = tmp_path / "libquavr-copy.so"
    copy.write_bytes(bundled.read_bytes())
    monkeypatch.setenv("QUAVR_LIBRARY", str(copy))
    assert [what for what, _ in _library.places()] == [
        "QUAVR_LIBRARY", "the copy bundled with the package", "the system's"]
    assert _library.load(_library.places()).path == str(copy)
    monkeypatch.setenv("QUAVR_LIBRARY", str(fake))
    assert _library.load(_library.places()).path == str(bundled)
    with pytest.raises(quavr.LibraryNotFoundError) as caught:
        _library.load([("QUAVR_LIBRARY", str(fake)), ("bundled", str(tmp_path / "none.so")),
                       ("system", "libquavr-none.so.0")])
    assert all(place in str(caught.value) for place in (str(fake), "none.so", "libquavr-none"))


def test_the_devices_are_named():
    assert "Quavr Monitor" in quavr.device_names()  # always there
    assert quavr.output_error() is None


def test_python_m_quavr_prints_the_songs_facts():
    run = subprocess.run([sys.executable, "-m", "quavr", str(SONG)], capture_output=True,
                         text=True, check=True)
    with quavr.Song(SONG) as song:
        assert f"length     {song.length_ms} ms" in run.stdout
        assert "marker     4000 ms  loopStart" in run.stdout


def test_the_walk_is_what_a_device_plays_and_a_queued_song_lands_on_the_grids_bar():
    assert ctypes.sizeof(quavr.SongEvent) == 32
    rate, played, rendered = 8000, [], 0  # at 8000 Hz a ms is 8 frames

    def sink(frame, message):
        if 0x80 <= message[0] < 0xF0:  # the channel's, not the device's resets
            played.append(((rendered + frame) // 8, message))

    with quavr.Song(SONG.parent / "ode_to_joy.mid") as song, quavr.Song(SONG) as theme, \
            quavr.RenderDevice(rate, "") as device:
        song.set_loop_style(quavr.LoopStyle.NONE)
        events = list(song.walk(chunk=7))
        walked = [(e.timeMs, e.message) for e in events if 0x80 <= e.status < 0xF0]
        bars = [song.info(quavr.Info.BAR_TIME, i) for i in range(song.info(quavr.Info.BARS))]
        assert all(quavr.bar_of(e.barBeat) == sum(b <= e.timeMs for b in bars) - 1
                   for e in events if e.timeMs < song.length_ms)
        device.set_sink(sink)
        device.play(song)
        while device.render_into(None, quavr.RenderFormat.NONE, frames=4096) == 4096:
            rendered += 4096
        assert played[:len(walked)] == walked and len(walked) > 50

        markers = [theme.event_data(i) for i, e in enumerate(theme.walk())
                   if (e.status, e.type) == (0xFF, 6)]
        assert markers == [m.text.encode("latin-1") for m in theme.markers]
        device.play(song)
        device.render_into(None, quavr.RenderFormat.NONE, frames=8000)
        device.queue_song(theme, quavr.at_bars(2), 0, quavr.Tail.RING | quavr.fade_in(500))
        boundary = next(b for i, b in enumerate(bars) if b >= 1000 and i % 2 == 0)
        device.render_into(None, quavr.RenderFormat.NONE, frames=boundary * 8 - 8000)
        assert quavr.Event.QUEUED not in device.events()
        rendered, played[:] = boundary * 8, []
        device.render_into(None, quavr.RenderFormat.NONE, frames=1)
        assert quavr.Event.QUEUED in device.events() and played[0][0] == boundary
        assert device.volume == 0 and quavr.bar_of(device.bar_beat) == 0
