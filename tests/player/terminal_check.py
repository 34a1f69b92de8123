#!/usr/bin/env python3
"""quavr-play under a pseudo-terminal.

  terminal_check.py background PLAY SONG  a background job plays to its end (never stopped by
                                          SIGTTOU, with TOSTOP set) and leaves the mode alone
  terminal_check.py width PLAY SONG       a foreground job on a 24-column terminal: every
                                          progress line fits in 23 columns, and the mode is
                                          given back at the end
  terminal_check.py fade PLAY SONG        f pressed a second into the song: the last progress
                                          line shows where the fade stopped it, not 0:00
"""
import fcntl
import os
import pty
import re
import struct
import sys
import termios

mode, play, song = sys.argv[1:4]
COLUMNS = 24
argv = [play, "--device", "monitor", "--log", os.devnull, song]
if mode == "background":
    argv.insert(1, "--offline")

pid, master = pty.fork()
if pid == 0:
    fcntl.ioctl(0, termios.TIOCSWINSZ, struct.pack("HHHH", 24, COLUMNS, 0, 0))
    attrs = termios.tcgetattr(0)
    attrs[3] |= termios.TOSTOP  # a background job that writes is stopped too
    termios.tcsetattr(0, termios.TCSANOW, attrs)
    before = termios.tcgetattr(0)
    player = os.fork()
    if player == 0:
        if mode == "background":
            os.setpgid(0, 0)  # its own group, not the terminal's foreground one
        os.execv(play, argv)
    _, status = os.waitpid(player, os.WUNTRACED)
    if os.WIFSTOPPED(status):
        os.kill(player, 9)
        print("STOPPED by signal %d" % os.WSTOPSIG(status), flush=True)
        os._exit(1)
    if termios.tcgetattr(0)[3] != before[3]:
        print("MODE NOT RESTORED", flush=True)
        os._exit(1)
    os._exit(os.waitstatus_to_exitcode(status))

output = b""
faded = False
while True:
    try:
        chunk = os.read(master, 4096)
    except OSError:
        break
    if not chunk:
        break
    output += chunk
    if mode == "fade" and not faded and b"0:01 /" in output:
        os.write(master, b"f")
        faded = True
_, status = os.waitpid(pid, 0)
code = os.waitstatus_to_exitcode(status)
text = output.decode(errors="replace").replace("\x1b[K", "")
if code != 0:
    sys.exit("%s: exit %d: %r" % (mode, code, text[-300:]))
if mode == "width":
    lines = [l for l in text.replace("\r\n", "\n").replace("\r", "\n").split("\n")
             if l.strip() and not l.startswith("Playing")]
    if not lines:
        sys.exit("width: no progress line: %r" % text)
    wide = [l for l in lines if len(l) > COLUMNS - 1]
    if wide:
        sys.exit("width: lines wider than %d: %r" % (COLUMNS - 1, wide))
if mode == "fade":
    shown = re.findall(r"(\d+):(\d\d) /", text)
    last = int(shown[-1][0]) * 60 + int(shown[-1][1]) if shown else 0
    if not faded or last < 2:
        sys.exit("fade: the last progress line shows %d s: %r" % (last, text[-200:]))
