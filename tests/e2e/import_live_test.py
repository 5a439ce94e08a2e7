#!/usr/bin/env python3
"""Imports while the file decodes, in the whole program on a virtual display: the window keeps
presenting frames and shows the loading indicator while the decoder works, Escape gives up on it,
a slow picture arrives with the same log lines as ever, what is not a file is refused at once,
and the ways out end a decoder still at work.

Usage: import_live_test.py VELLUMRY COMPARE_WINDOW WM_CLOSE PAPER   (under tests/support/with-xvfb.sh)
The frames the program presents are counted by its frame probe.
"""
import os
import re
import socket
import subprocess
import sys
import tempfile
import unittest
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import program_test as base  # noqa: E402
from desktop import wait_for  # noqa: E402

# A run-length HDR picture cut off after its first scanline's start: stb_image reads a count of
# 0 at the end of the file again and again, so the decoder spins until it is stopped.
SPINNING_HDR = b"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 4 +X 64\n" + bytes([2, 2, 0, 64])


def write_wide_png(path, width, height):
    """A grey PNG wider than the largest texture, quick to write: every row the same ramp."""
    row = b"\0" + bytes((x * 255 // (width - 1)) for x in range(width))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(row * height)) +
                chunk(b"IEND", b""))


def decoder_helpers(pid):
    """The process ids of the decoder helpers the program with this pid has started and not
    reaped (a helper that was killed and not reaped still shows, as a zombie)."""
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        parent = int(stat[stat.rindex(")") + 2:].split()[1])
        if parent == pid and name == "vellumry-decode":
            found.append(int(entry))
    return found


def brightest(window, x, y, width, height):
    """The largest channel value in a rectangle of a window as it is on screen now (captured
    alone and raw: quick, where a whole screenshot is not)."""
    data = subprocess.run(["import", "-silent", "-window", window, "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                           "-depth", "8", "rgb:-"], capture_output=True, check=True, timeout=60).stdout
    return max(data) if data else 0


def gone(pid):
    return not os.path.exists(f"/proc/{pid}")


class LiveProgram(base.Program):
    # Comparing a screenshot with the reference takes seconds on a busy machine: these waits are
    # long.
    def wait_reference(self, picture, area, what):
        wait_for(lambda: self.compare(picture, base.DEFAULT_PAPER, area)[0] == 0, timeout=180, what=what)

    def wait_notice(self, picture, area):
        """The import notice, which dims everything behind it."""
        wait_for(lambda: self.compare(picture, base.DEFAULT_PAPER, area)[0] >= 300000, timeout=180,
                 what="the notice")


class ImportWhileDecoding(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        cls.picture = os.path.join(cls.files.name, "picture.png")
        base.write_png(cls.picture, *base.PICTURE_SIZE, base.test_picture)
        cls.spinning = os.path.join(cls.files.name, "cut off.hdr")
        with open(cls.spinning, "wb") as f:
            f.write(SPINNING_HDR)
        cls.wide = os.path.join(cls.files.name, "panorama.png")
        write_wide_png(cls.wide, 20000, 1000)

    @classmethod
    def tearDownClass(cls):
        cls.files.cleanup()

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.program = LiveProgram(self.folder.name)
        self.area = base.fit(800, 600, *base.PICTURE_SIZE)

    def tearDown(self):
        self.program.close()
        self.folder.cleanup()

    def show_picture(self):
        """Imports the test picture and hides the Options window, so the screen is the reference."""
        p = self.program
        p.choose(self.picture)
        p.park_mouse()
        p.key("v")
        p.wait_reference(self.picture, self.area, what="the picture")

    def start_spinning_import(self):
        p = self.program
        p.choose(self.spinning)
        return wait_for(lambda: decoder_helpers(p.process.pid), what="the decoder at work")[0]

    def test_the_window_stays_live_while_the_decoder_spins_and_escape_gives_up(self):
        p = self.program
        self.show_picture()
        helper = self.start_spinning_import()

        # The decoder gives up on its own after 20 s, so what is checked meanwhile is quick to
        # look at. Frames keep coming while the decoder works.
        p.wait_frames(20, what="20 more frames while decoding")
        # The window takes input meanwhile: V shows the Options window, whose title bar lies over
        # the black bar above the picture, while the indicator's text shows over the black bar
        # below it; one screenshot shows both.
        p.key("v")
        indicator, options = (200, 520, 400, 60), (60, 60, 300, 30)
        wait_for(lambda: brightest(p.window, *indicator) > 100 and brightest(p.window, *options) > 100,
                 what="the loading indicator and the Options window")
        self.assertEqual(decoder_helpers(p.process.pid), [helper], p.stderr())

        p.key("Escape")
        wait_for(lambda: gone(helper), what="the decoder ended and reaped")
        p.key("v")
        p.wait_reference(self.picture, self.area, what="the old picture, no indicator")
        log = p.stderr()
        self.assertIn(f"[Info]: Cancelled loading texture: {self.spinning}\n", log)
        self.assertNotIn("[Error]", log)
        self.assertIsNone(p.process.poll())

    def test_a_slow_picture_arrives_with_the_same_lines_and_the_options_window(self):
        p = self.program
        before = p.stderr()
        p.choose(self.wide)
        p.park_mouse()
        wait_for(lambda: "scaled down" in p.stderr(), timeout=120, what="the picture")
        new = p.stderr()[len(before):].splitlines()
        self.assertEqual(len(new), 2, new)
        self.assertEqual(new[0], f"[Info]: Loading diffuse texture: {self.wide}")
        match = re.fullmatch(r"\[Info\]: Picture larger than the largest texture, scaled down: (.*): "
                             r"20000 x 1000 scaled to (\d+) x (\d+)", new[1])
        self.assertIsNotNone(match, new[1])
        self.assertEqual(match.group(1), self.wide)
        width, height = int(match.group(2)), int(match.group(3))
        self.assertEqual(height, round(1000 * width / 20000), "the aspect is kept")
        # The Options window opens with the picture, at the library's default place, over what is
        # otherwise the black bar above the flat strip of the picture; V hides it again.
        options = (60, 60, 300, 120)
        wait_for(lambda: brightest(p.window, *options) > 100, what="the Options window")
        p.key("v")
        wait_for(lambda: brightest(p.window, *options) == 0, what="the Options window hidden")
        self.assertEqual(decoder_helpers(p.process.pid), [])

    def test_what_is_not_a_file_is_refused_at_once(self):
        p = self.program
        self.show_picture()
        pipe = os.path.join(self.folder.name, "x.png")
        os.mkfifo(pipe)
        device = os.path.join(self.folder.name, "zero.png")
        os.symlink("/dev/zero", device)
        listening = socket.socket(socket.AF_UNIX)
        sock = os.path.join(self.folder.name, "s.png")
        listening.bind(sock)
        try:
            for path, what in [(pipe, "a named pipe"), (device, "a device"), (sock, "a socket")]:
                p.choose(path)
                wait_for(lambda: f"[Error]: Failed to load texture: {path}: it is {what}, not a file\n" in p.stderr(),
                         what=f"the refusal of {what}")
                p.wait_notice(self.picture, self.area)
                self.assertEqual(decoder_helpers(p.process.pid), [])
                p.key("Escape")
                p.wait_reference(self.picture, self.area, what="the picture after the notice")
        finally:
            listening.close()
        self.assertIsNone(p.process.poll())

    def test_a_second_import_replaces_one_still_loading(self):
        p = self.program
        helper = self.start_spinning_import()
        p.choose(self.picture)
        wait_for(lambda: gone(helper), what="the first decoder ended")
        p.park_mouse()
        p.key("v")
        p.wait_reference(self.picture, self.area, what="the second picture")
        lines = [line for line in p.stderr().splitlines() if "texture: " in line]
        self.assertEqual(lines[-3:], [f"[Info]: Loading diffuse texture: {self.spinning}",
                                      f"[Info]: Cancelled loading texture: {self.spinning}",
                                      f"[Info]: Loading diffuse texture: {self.picture}"])

    def test_closing_the_window_or_exit_ends_a_decoder_at_work(self):
        p = self.program
        helper = self.start_spinning_import()
        subprocess.run([base.WM_CLOSE, p.window], check=True, timeout=60)
        self.assertEqual(p.wait_exit(), 0)
        wait_for(lambda: gone(helper), what="the decoder gone with the program")

        p.close()
        again = os.path.join(self.folder.name, "again")
        os.mkdir(again)
        self.program = p = LiveProgram(again)
        helper = self.start_spinning_import()
        p.click(*base.FILE_MENU)
        p.click(30, base.FILE_ROWS["Exit"])
        self.assertEqual(p.wait_exit(), 0)
        wait_for(lambda: gone(helper), what="the decoder gone with the program")


if __name__ == "__main__":
    base.PROGRAM, base.COMPARE, base.WM_CLOSE, base.DEFAULT_PAPER = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
