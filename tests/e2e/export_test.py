#!/usr/bin/env python3
"""File > Export Picture... and Ctrl + S in the whole program on a virtual display: the greyed
item before any import, the stand-in zenity and a fake desktop portal as the save chooser (what
they are asked: the picture's folder and the suggested name), the file written against the brush
filter computed on the CPU, the confirmation, a 24-megapixel PNG whose progress shows while the
window keeps presenting frames (the bar rising while the picture is rendered a few tiles a frame, then
while the file is written), Exit and the window's close during an export, and a full disk.

Usage: export_test.py VELLUMRY COMPARE_WINDOW WM_CLOSE PAPER FAKE_PORTAL
(under tests/support/with-xvfb.sh). FAKE_PORTAL is tests/filedialog/fake_portal.py.

Every wait polls with a generous limit. Where a check needs the program caught in the middle
of writing a file, the program is stopped (SIGSTOP) in a frame that its frame probe says showed
the export, looked at, and let go; nothing depends on how fast the machine is.
"""
import json
import os
import resource
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import program_test as base  # noqa: E402
from desktop import wait_for, xdotool  # noqa: E402

FAKE_PORTAL = None

# Where the strip at the bottom of the window shows (progress bar, confirmation): under a
# picture of 800 x 400 it lies over the black bar below it.
STRIP = (150, 520, 500, 70)
BIG = (6000, 4000)


def write_big_png(path, width, height):
    """A dark 24-megapixel picture with grain everywhere, so that its painting stays dark and
    takes a while to compress: each row a turn of one row of noise."""
    noise = bytes((b % 40) for b in os.urandom(width * 3))
    rows = []
    for y in range(height):
        k = (y * 7919) % (width * 3)
        rows.append(b"\0" + noise[k:] + noise[:k])

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(b"".join(rows), 1)) +
                chunk(b"IEND", b""))


def process_state(pid):
    with open(f"/proc/{pid}/stat") as f:
        return f.read().rsplit(")", 1)[1].split()[0]


def brightest(window, x, y, width, height):
    """The largest channel value in a rectangle of a window as it is on screen now."""
    data = subprocess.run(["import", "-silent", "-window", window, "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                           "-depth", "8", "rgb:-"], capture_output=True, check=True, timeout=60).stdout
    return max(data) if data else 0


def image_size(path):
    out = subprocess.run(["identify", "-ping", "-format", "%w %h", path], capture_output=True, text=True, timeout=120)
    assert out.returncode == 0, out.stderr
    return tuple(int(v) for v in out.stdout.split())


def psnr(a, b):
    """ImageMagick's peak signal-to-noise ratio of two pictures, in dB (a decoder of its own)."""
    out = subprocess.run(["compare", "-metric", "PSNR", a, b, "null:"], capture_output=True, text=True, timeout=120)
    return float(out.stderr.split()[0])


class ExportingProgram(base.Program):
    """The program, with what the frame probe tells of an export."""

    def exporting(self, frames=None):
        """{frame: export percent} of the frames that showed the export's strip."""
        return {f.number: f.export for f in (frames or self.frames()) if f.export is not None}

    def rendering_frames(self, frames=None):
        """The frames that ended with the export's picture still being rendered."""
        return {f.number for f in (frames or self.frames()) if f.rendering}

    def export_by_keyboard(self, path):
        self.answer("choose " + path)
        self.key("ctrl+s")

    def stopped_in_export(self, at_least=0, rendering=False):
        """Stops the program in a frame that showed the export's strip at `at_least` % or more
        (and, with `rendering`, that ended with the picture still being rendered) and returns
        that frame's percent; None (the program running) when the export ended first. Each look
        at the frames reads the probe once, so a frame is seen with what it showed."""
        def wanted(frame):
            return frame.export is not None and frame.export >= at_least and (frame.rendering or not rendering)

        def seen_or_over():
            if any(wanted(f) for f in self.frames()):
                return "seen"
            if "[Info]: Exported picture: " in self.stderr() or self.process.poll() is not None:
                return "over"
            return None

        if wait_for(seen_or_over, timeout=300, what="the export's strip") == "over":
            return None
        if self.stop():
            last = self.last()
            if wanted(last):
                return last.export
        self.go_on()
        return None

    def stopped_in_confirmation(self):
        """Stops the program in a frame that showed the confirmation; false (the program
        running) when it had gone by then."""
        wait_for(lambda: any(f.saved for f in self.frames()), what="the confirmation")
        if self.stop() and self.last().saved:
            return True
        self.go_on()
        return False

    def stop(self):
        """SIGSTOP, once the program is stopped; the probe writes a frame's line after its swap,
        so the screen then shows the last frame the probe told of."""
        pid = self.process.pid
        os.kill(pid, signal.SIGSTOP)
        wait_for(lambda: process_state(pid) == "T", what="the program stopped")
        return True

    def go_on(self):
        os.kill(self.process.pid, signal.SIGCONT)


class PrivatePortal:
    """A session bus of its own with the fake portal on it; answers SaveFile with `uri`."""

    def __init__(self, folder):
        self.folder = folder
        config = os.path.join(folder, "bus.conf")
        with open(config, "w") as f:
            f.write(f"""<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:dir={folder}</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>
""")
        self.bus = subprocess.Popen(["dbus-daemon", "--nofork", "--print-address=1", "--config-file=" + config],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.address = self.bus.stdout.readline().strip()
        self.bus.stdout.close()
        assert self.address, "the session bus did not start"
        self.record = os.path.join(folder, "portal-record")
        self.portal = None

    def answer(self, uri):
        """(Re)starts the portal so that it answers the next SaveFile with `uri`."""
        self.stop_portal()
        env = dict(os.environ, DBUS_SESSION_BUS_ADDRESS=self.address, FAKE_PORTAL_RECORD=self.record,
                   FAKE_PORTAL_SCRIPT=json.dumps({"uris": [uri]}))
        self.portal = subprocess.Popen(["/usr/bin/python3", FAKE_PORTAL], env=env, stdout=subprocess.PIPE, text=True)
        ready = self.portal.stdout.readline().strip()
        self.portal.stdout.close()
        assert ready == "ready", "the fake portal did not start"

    def asked(self):
        try:
            with open(self.record, encoding="utf-8") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def stop_portal(self):
        if self.portal and self.portal.poll() is None:
            self.portal.terminate()
            self.portal.wait(timeout=60)

    def close(self):
        self.stop_portal()
        self.bus.terminate()
        self.bus.wait(timeout=60)


class ExportPicture(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        cls.pictures = os.path.join(cls.files.name, "holiday pictures")
        os.mkdir(cls.pictures)
        cls.picture = os.path.join(cls.pictures, "coffee.png")
        base.write_png(cls.picture, *base.PICTURE_SIZE, base.test_picture)
        cls.big = os.path.join(cls.pictures, "harbour.png")
        write_big_png(cls.big, *BIG)

    @classmethod
    def tearDownClass(cls):
        cls.files.cleanup()

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.out = os.path.join(self.folder.name, "out")
        os.mkdir(self.out)
        self.area = base.fit(800, 600, *base.PICTURE_SIZE)
        self.program = None

    def tearDown(self):
        if self.program:
            if self.program.process.poll() is None:
                self.program.go_on()
            self.program.close()
        self.folder.cleanup()

    def start(self, *args, env=None, scratch="run"):
        if self.program:
            self.program.close()
        folder = os.path.join(self.folder.name, scratch)
        os.mkdir(folder)
        self.program = ExportingProgram(folder, args, env)
        return self.program

    def import_picture(self, picture=None):
        p = self.program
        picture = picture or self.picture
        p.answer("choose " + picture)
        p.key("ctrl+o")
        wait_for(lambda: f"[Info]: Loading diffuse texture: {picture}\n" in p.stderr(), what="the import's line")
        self.wait_picture_in_slot(picture)

    def wait_picture_in_slot(self, picture):
        size = BIG if picture == self.big else base.PICTURE_SIZE
        self.program.wait_picture(*size, timeout=300)  # the big one decodes for a while

    def assert_matches_reference(self, path, parameters=(1.0, base.THIRD, base.THIRD)):
        """The written file, decoded by stb_image, against the CPU filter at 1:1: the picture of
        800 x 400 is drawn at its own size in the 800 x 600 window, where the reference is exact."""
        result = base.run(base.COMPARE, path, self.picture, base.DEFAULT_PAPER, "0", "0", "800", "400",
                          *[repr(v) for v in parameters], "0", timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("inside=0 outside=0 ", result.stdout)

    def test_the_item_is_greyed_until_a_picture_is_imported(self):
        p = self.start()
        p.click(*base.FILE_MENU)
        p.wait_frames(3)
        p.park_mouse()
        p.wait_frames(3)
        # White text on the dark menu; the greyed item's text is drawn at 60 % (153).
        row = lambda name: brightest(p.window, 8, base.FILE_ROWS[name] - 7, 150, 14)
        self.assertGreater(row("Import Filter"), 230)
        grey = row("Export Picture...")
        self.assertTrue(100 < grey < 200, grey)
        p.click(40, base.FILE_ROWS["Export Picture..."])
        p.click(600, 500)  # closes the menu, which the greyed item left open
        p.key("ctrl+s")
        p.wait_frames(10)
        self.assertEqual(p.chooser_calls(), [], "no chooser without a picture")

        self.import_picture()
        p.click(*base.FILE_MENU)
        p.wait_frames(3)
        p.park_mouse()
        p.wait_frames(3)
        self.assertGreater(row("Export Picture..."), 230)

    def test_ctrl_s_writes_the_painting_through_zenity_and_confirms(self):
        p = self.start()
        self.import_picture()
        p.key("v")  # the Options window out of the way
        target = os.path.join(self.out, "coffee-painted.png")
        before = p.stderr()
        p.export_by_keyboard(target)
        wait_for(lambda: f"[Info]: Exported picture: {target}\n" in p.stderr(), timeout=120, what="the file in place")
        # "Saved coffee-painted.png, 800 x 400" over the black bar below the picture, then gone.
        # Seen first: it shows for five seconds, and checking the file against the reference
        # takes seconds of its own on a busy machine.
        self.assertTrue(p.stopped_in_confirmation(), "the confirmation went by too soon to be seen")
        try:
            self.assertGreater(brightest(p.window, *STRIP), 200, "the confirmation")
        finally:
            p.go_on()
        self.assertEqual(p.stderr()[len(before):], f"[Info]: Exporting picture: {target}\n"
                                                f"[Info]: Exported picture: {target}\n")
        call = p.chooser_calls()[-1]
        self.assertIn("--save", call)
        self.assertIn(f"--filename={self.pictures}/coffee-painted.png", call)
        self.assertIn("--file-filter=*.png | *.[pP][nN][gG]", call)
        self.assertIn("*.[jJ][pP][gG] *.[jJ][pP][eE][gG]", call)
        self.assertEqual(os.listdir(self.out), ["coffee-painted.png"])
        self.assert_matches_reference(target)

        wait_for(lambda: brightest(p.window, *STRIP) < 10, timeout=60, what="the confirmation fading")

        # A name without an extension becomes PNG; a JPEG by its extension, written while the
        # sliders' values stay as they were.
        p.export_by_keyboard(os.path.join(self.out, "plain"))
        wait_for(lambda: f"[Info]: Exported picture: {self.out}/plain.png\n" in p.stderr(), timeout=120,
                 what="plain.png")
        self.assert_matches_reference(os.path.join(self.out, "plain.png"))
        jpeg = os.path.join(self.out, "coffee-painted.JPEG")
        p.export_by_keyboard(jpeg)
        wait_for(lambda: f"[Info]: Exported picture: {jpeg}\n" in p.stderr(), timeout=120, what="the JPEG")
        self.assertEqual(image_size(jpeg), base.PICTURE_SIZE)
        self.assertGreater(psnr(jpeg, target), 35.0)
        self.assertNotIn("[Error]", p.stderr())

    def test_the_portal_is_given_the_folder_and_name_and_the_menu_item_exports(self):
        portal = PrivatePortal(self.folder.name)
        try:
            # The picture named on the command line, relative to the working folder: the
            # chooser still opens in its folder.
            p = self.start(os.path.relpath(self.picture, os.path.join(self.folder.name, "run")),
                           env={"DBUS_SESSION_BUS_ADDRESS": portal.address})
            self.wait_picture_in_slot(self.picture)
            target = os.path.join(self.out, "from portal.png")
            portal.answer("file://" + urllib.parse.quote(target))
            p.click(*base.FILE_MENU)
            p.click(40, base.FILE_ROWS["Export Picture..."])
            wait_for(lambda: f"[Info]: Exported picture: {target}\n" in p.stderr(), timeout=120, what="the file")
            asked = portal.asked()
            self.assertIn("method SaveFile", asked)
            self.assertIn("option current_name coffee-painted.png", asked)
            self.assertIn("option current_folder " + self.pictures, asked)
            self.assertTrue(any(line.startswith("filter *.png|") for line in asked), asked)
            self.assertTrue(any(line.startswith("filter *.jpg;*.jpeg|") for line in asked), asked)
            self.assertEqual(p.chooser_calls(), [], "the portal answered, not zenity")
            self.assert_matches_reference(target)

            jpeg = os.path.join(self.out, "from portal.jpg")
            portal.answer("file://" + urllib.parse.quote(jpeg))
            p.key("ctrl+s")
            wait_for(lambda: f"[Info]: Exported picture: {jpeg}\n" in p.stderr(), timeout=120, what="the JPEG")
            self.assertGreater(psnr(jpeg, target), 35.0)
        finally:
            portal.close()

    def test_a_24_megapixel_png_shows_its_progress_while_frames_keep_coming(self):
        p = self.start(self.big)
        self.wait_picture_in_slot(self.big)
        p.key("v")
        target = os.path.join(self.out, "harbour-painted.png")
        p.export_by_keyboard(target)
        # Caught in a frame that showed the bar part way while the picture was being rendered:
        # the bar and its text are on screen, bright over the dark painting.
        for attempt in range(3):
            shown = p.stopped_in_export(at_least=1, rendering=True)
            if shown is not None and shown < 100:
                break
            wait_for(lambda: "[Info]: Exported picture" in p.stderr(), timeout=300, what="the first file")
            os.remove(target)
            p.export_by_keyboard(target)
        else:
            self.fail("the export was never caught part way")
        try:
            self.assertGreater(brightest(p.window, *STRIP), 150, "the progress bar")
        finally:
            p.go_on()
        wait_for(lambda: f"[Info]: Exported picture: {target}\n" in p.stderr(), timeout=300, what="the file in place")
        frames = p.frames()
        exporting, rendering = p.exporting(frames), p.rendering_frames(frames)
        frames = sorted(exporting)
        self.assertEqual([exporting[f] for f in frames], sorted(exporting[f] for f in frames), "the bar only grows")
        # Frames kept coming while the picture was rendered, the bar rising with its tiles, and
        # then while the file was written, the bar following the encoder.
        self.assertGreaterEqual(len(rendering), 10, sorted(rendering))
        self.assertGreaterEqual(len(set(exporting[f] for f in rendering)), 3, [exporting[f] for f in sorted(rendering)])
        writing = [f for f in frames if f > max(rendering)]
        self.assertTrue(all(f in rendering for f in frames if min(rendering) <= f <= max(rendering)),
                        "one render, then the writing")
        self.assertGreaterEqual(len(writing), 10, writing)
        self.assertGreaterEqual(len(set(exporting[f] for f in writing)), 3, [exporting[f] for f in writing])
        self.assertEqual(image_size(target), BIG)

    def test_exit_and_the_window_close_during_an_export_finish_the_file_first(self):
        for way in ("exit", "close"):
            with self.subTest(way):
                p = self.start(self.big, scratch=way)
                self.wait_picture_in_slot(self.big)
                target = os.path.join(self.out, f"before {way}.png")
                p.export_by_keyboard(target)
                asked = None
                for attempt in range(3):
                    if p.stopped_in_export(at_least=1) is not None:
                        if way == "close":
                            subprocess.run([base.WM_CLOSE, p.window], check=True, timeout=60)
                            asked = p.last().number
                            p.go_on()
                            break
                        # The File menu opens in the next frames; Exit is clicked while the
                        # file is still being written.
                        ox, oy = p.origin()
                        xdotool("mousemove", ox + base.FILE_MENU[0], oy + base.FILE_MENU[1])
                        xdotool("click", "1")
                        p.go_on()
                        p.wait_frames(3)
                        if p.stopped_in_export(at_least=1) is not None:
                            xdotool("mousemove", ox + 40, oy + base.FILE_ROWS["Exit"])
                            xdotool("click", "1")
                            asked = p.last().number
                            p.go_on()
                            break
                    p.key("Escape")
                    wait_for(lambda: "[Info]: Exported picture" in p.stderr(), timeout=300, what="the file")
                    os.remove(target)
                    p.export_by_keyboard(target)
                self.assertIsNotNone(asked, "never caught during the export")
                self.assertEqual(p.wait_exit(timeout=300), 0)
                self.assertTrue(p.stderr().endswith(f"[Info]: Exported picture: {target}\n"), p.stderr()[-500:])
                self.assertEqual(image_size(target), BIG)
                self.assertEqual(os.listdir(self.out), [os.path.basename(target)])
                # The strip went on showing after the way out was asked for.
                exporting = p.exporting()
                self.assertTrue(any(f > asked for f in exporting), (asked, sorted(exporting)[-5:]))
                os.remove(target)

    def test_a_full_disk_leaves_the_old_file_and_no_temporary_one(self):
        p = self.start()
        p.answer("choose " + self.picture)
        p.key("ctrl+o")
        p.park_mouse()
        p.key("v")
        p.wait_match(self.picture, base.DEFAULT_PAPER, self.area, what="the picture")
        target = os.path.join(self.out, "kept.png")
        old = os.urandom(5000)
        with open(target, "wb") as f:
            f.write(old)
        # From now on no file of the program may grow past 64 KiB: the painting's PNG must.
        resource.prlimit(p.process.pid, resource.RLIMIT_FSIZE, (65536, 65536))
        before = p.stderr()
        p.answer("choose " + target)
        p.key("ctrl+s")
        wait_for(lambda: "[Error]" in p.stderr(), timeout=120, what="the failure")
        self.assertEqual(p.stderr()[len(before):], f"[Info]: Exporting picture: {target}\n"
                                                   f"[Error]: Failed to export picture: {target}: File too large\n")
        self.assertIsNone(p.process.poll(), "the program goes on")
        self.assertEqual(os.listdir(self.out), ["kept.png"], "no temporary file")
        with open(target, "rb") as f:
            self.assertEqual(f.read(), old, "the old file untouched")
        # The notice dims the window; Return dismisses it and the picture is back.
        p.wait_different(self.picture, base.DEFAULT_PAPER, self.area, at_least=300000, what="the notice")
        p.key("Return")
        p.wait_match(self.picture, base.DEFAULT_PAPER, self.area, what="the picture after the notice")


if __name__ == "__main__":
    base.PROGRAM, base.COMPARE, base.WM_CLOSE, base.DEFAULT_PAPER, FAKE_PORTAL = sys.argv[1:6]
    unittest.main(argv=sys.argv[:1] + sys.argv[6:], verbosity=2)
