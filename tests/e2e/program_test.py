#!/usr/bin/env python3
"""The whole program on a virtual display, driven like a user with xdotool.

Usage: program_test.py VELLUMRY COMPARE_WINDOW WM_CLOSE PAPER   (under tests/support/with-xvfb.sh)

The file chooser is a stand-in zenity first on PATH; with no session bus the file dialog falls
back to it. Screenshots of the window are checked against the brush filter computed on the CPU
(COMPARE_WINDOW); PAPER is the embedded default paper's source file.

The program runs with its frame probe on (tests/support/frame_probe.py): keys are held, clicks
made and screenshots taken over frames the probe says were drawn, never after a guessed time.
"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import wait_for, xdotool  # noqa: E402
from frame_probe import StreamProbe, asking_frames  # noqa: E402

# Set from the command line (or by a script that imports this module).
PROGRAM = COMPARE = WM_CLOSE = DEFAULT_PAPER = None
HERE = os.path.dirname(os.path.abspath(__file__))

# The layout that the 21-pixel font and the UI library's default spacing give the menus.
MENU_BAR_HEIGHT = 27
FILE_MENU, EDIT_MENU, VIEW_MENU, ABOUT_MENU = (26, 13), (72, 13), (123, 13), (183, 13)
FILE_ROWS = {"Import Texture": 45, "Import Filter": 70, "Export Picture...": 95, "Open Recent": 120, "Exit": 145}
# The Options window's rows from its top edge: title bar, padding, the text, the Look selector,
# then the sliders.
LOOK_ROW = 133 - 60
SLIDER_ROWS = {"Brush Opacity": 164 - 60, "Brush Stroke": 195 - 60, "Filter Intensity": 226 - 60}
SLIDER_LEFT, SLIDER_WIDTH = 8, 336
THIRD = struct.unpack("f", struct.pack("f", 1 / 3))[0]  # the single-precision one third


def run(*args, timeout=120):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=timeout)


def write_png(path, width, height, pixel):
    """An 8-bit RGB PNG whose pixel (x, y) is pixel(x, y) -> (r, g, b)."""
    rows = b"".join(b"\0" + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) +
                chunk(b"IEND", b""))


# The picture: 800 x 400, drawn at 1:1 in the 800 x 600 window, where every lookup of the filter
# falls on a texel centre and the screen must match the reference exactly (within 2 steps).
PICTURE_SIZE = (800, 400)


def test_picture(x, y):
    """Smooth colour ramps crossed by hard-edged blocks, so both the smear and the edges show."""
    block = ((x // 40) + (y // 40)) % 2
    return (x * 255 // 799, y * 255 // 399, 230 if block else 40)


def test_paper(x, y):
    grain = (x * 37 + y * 91 + (x * y) % 17) % 48
    return (200 + grain, 195 + grain, 190 + grain)


def fit(window_w, window_h, picture_w, picture_h):
    """The drawn area (left, top from the top, width, height) of a picture fitted and centred."""
    f32 = lambda v: struct.unpack("f", struct.pack("f", v))[0]
    sx, sy = f32(window_w / picture_w), f32(window_h / picture_h)
    scale = sx if sy > sx else sy
    w, h = int(f32(picture_w * scale)), int(f32(picture_h * scale))
    x, y = int((window_w - w) * 0.5), int((window_h - h) * 0.5)
    return x, window_h - y - h, w, h


class Program:
    """The program in a scratch folder with the stand-in chooser, its frame probe on and its
    configuration folder (settings, looks, window layout) in the scratch folder's "config", never
    the user's own. `args` go on its command line; `env` adds to its environment (a value of
    None removes the name), e.g. a session bus for the portal, which the stand-in chooser
    otherwise stands in for; `program` is another executable to start (an installed one) instead
    of PROGRAM. A folder may serve several programs in turn. Its error stream comes through a
    pipe (copied into stderr.txt in the folder), so no limit on the program's files cuts it."""

    def __init__(self, folder, args=(), env=None, program=None):
        self.folder = folder
        bin_dir = os.path.join(folder, "bin")
        os.makedirs(bin_dir, exist_ok=True)
        link = os.path.join(bin_dir, "zenity")
        if not os.path.lexists(link):
            os.symlink(os.path.join(HERE, "fake-zenity"), link)
        self.answer_path = os.path.join(folder, "chooser")
        environment = os.environ.copy()
        environment.pop("DBUS_SESSION_BUS_ADDRESS", None)
        environment.pop("XDG_RUNTIME_DIR", None)
        environment["PATH"] = bin_dir + os.pathsep + environment.get("PATH", "/usr/bin:/bin")
        environment["FAKE_CHOOSER"] = self.answer_path
        environment["VELLUMRY_FRAME_PROBE"] = "1"
        environment["XDG_CONFIG_HOME"] = os.path.join(folder, "config")
        for name, value in (env or {}).items():
            if value is None:
                environment.pop(name, None)
            else:
                environment[name] = value
        self.stderr_path = os.path.join(folder, "stderr.txt")
        self.stderr_file = open(self.stderr_path, "wb")
        # Its standard input a pipe, through which a wait for frames asks for them.
        self.process = subprocess.Popen([program or PROGRAM, *args], cwd=folder, stdin=subprocess.PIPE,
                                        stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, env=environment)
        self.probe = StreamProbe(self.process.stderr, self.stderr_file, lambda: self.process.poll() is None,
                                 asking_frames(self.process))
        self.window = wait_for(self._window, what="the program's window").split()[0]
        wait_for(lambda: "Loaded default filter texture" in self.stderr(), what="the start-up log")
        self.wait_frames(1)
        self.shots = 0

    def _window(self):
        """The window's id once it is shown; a program that ended meanwhile fails at once."""
        if self.process.poll() is not None:
            raise AssertionError(f"the program ended with status {self.process.returncode}:\n{self.stderr()}")
        return xdotool("search", "--onlyvisible", "--pid", self.process.pid)

    def stderr(self):
        """The program's log so far: its error stream without the probe's lines."""
        return self.probe.log()

    def frames(self):
        """Every frame the probe has told of (frame_probe.Frame)."""
        return self.probe.frames()

    def last(self):
        return self.probe.last()

    def wait_frames(self, count, what=None):
        return self.probe.wait_frames(count, what)

    def wait_picture(self, width, height, timeout=120):
        """Until a frame has ended with a picture of that size in its slot."""
        return wait_for(lambda: self.last().picture == (width, height), timeout=timeout,
                        what=f"a picture of {width} x {height}")

    def choose(self, path):
        """Ctrl + O with the stand-in chooser answering `path`; waits for the import's log line."""
        self.answer("choose " + path)
        self.key("ctrl+o")
        wait_for(lambda: f"[Info]: Loading diffuse texture: {path}\n" in self.stderr(), what="the import's log line")

    def chooser_calls(self):
        try:
            with open(self.answer_path + ".calls") as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    def answer(self, line):
        with open(self.answer_path, "w") as f:
            f.write(line + "\n")

    def origin(self):
        geometry = xdotool("getwindowgeometry", self.window)
        position = geometry.split("Position: ")[1].split()[0]
        x, y = position.split(",")
        return int(x), int(y)

    def size(self):
        geometry = xdotool("getwindowgeometry", self.window)
        w, h = geometry.split("Geometry: ")[1].split()[0].split("x")
        return int(w), int(h)

    def key(self, *keys):
        """Presses and releases each key (or chord such as ctrl+o) in turn. The program reads
        the keyboard once a frame, so each key is held over frames that the probe says were
        drawn, as a person would, not tapped between two readings."""
        xdotool("windowfocus", "--sync", self.window)
        for key in keys:
            xdotool("keydown", key)
            self.wait_frames(3)
            xdotool("keyup", key)
            self.wait_frames(2)

    def move_mouse(self, x, y):
        """To (x, y) in the window. (xdotool's own --sync never returns when the pointer is
        already there.)"""
        ox, oy = self.origin()
        xdotool("mousemove", ox + x, oy + y)
        wait_for(lambda: xdotool("getmouselocation").startswith(f"x:{ox + x} y:{oy + y} "), what="the pointer")

    def click(self, x, y):
        self.move_mouse(x, y)
        self.wait_frames(2)  # a frame sees the pointer over the item before the press
        xdotool("click", "1")
        self.wait_frames(2)

    def park_mouse(self):
        """Over the bottom right corner, where the pointer highlights nothing."""
        w, h = self.size()
        self.move_mouse(w - 2, h - 2)

    def screenshot(self):
        """The window as a frame drawn after everything sent to it so far left it."""
        self.wait_frames(2)
        self.shots += 1
        path = os.path.join(self.folder, f"shot{self.shots}.png")
        result = run("import", "-silent", "-window", self.window, path)
        assert result.returncode == 0, result.stderr
        return path

    def compare(self, picture, paper, area, parameters=(1.0, THIRD, THIRD)):
        """One screenshot against the reference: (pixels off, inside the drawn area, outside it,
        the box that holds them or None)."""
        shot = self.screenshot()
        args = [COMPARE, shot, picture, paper, *[str(v) for v in area], *[repr(p) for p in parameters],
                str(MENU_BAR_HEIGHT + 2)]
        result = run(*args, timeout=120)
        assert result.returncode == 0, result.stderr
        fields = dict(f.split("=") for f in result.stdout.split())
        box = None if fields["box"] == "-" else tuple(int(v) for v in fields["box"].split(","))
        inside, outside = int(fields["inside"]), int(fields["outside"])
        return inside + outside, inside, outside, box

    def wait_match(self, picture, paper, area, parameters=(1.0, THIRD, THIRD), what="the filtered picture"):
        """Waits until the window shows exactly the reference (and the menu bar)."""
        return wait_for(lambda: self.compare(picture, paper, area, parameters)[0] == 0, what=what)

    def wait_fitted(self, picture, paper, area, what):
        """Waits until the window shows the picture scaled into `area`: black bars exact, and
        inside no more than 1% of the pixels off. Scaled, the GL's filtering rounds differently
        from the reference at a few pixels; a picture off by one pixel in place or size changes
        the bars and several percent of the area."""
        allowed = area[2] * area[3] // 100
        return wait_for(lambda: (lambda r: r[2] == 0 and r[1] <= allowed)(self.compare(picture, paper, area)),
                        what=what)

    def wait_different(self, picture, paper, area, parameters=(1.0, THIRD, THIRD), at_least=1, what="a change"):
        """Waits until at least `at_least` pixels differ from the reference; returns the box."""
        return wait_for(lambda: (lambda r: r[3] if r[0] >= at_least else None)(
            self.compare(picture, paper, area, parameters)), what=what)

    def wait_exit(self, timeout=120):
        return self.process.wait(timeout=timeout)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        try:
            self.process.stdin.close()
        except OSError:
            pass  # a request for frames the ended program never read
        self.probe.thread.join(timeout=60)
        self.process.stderr.close()
        self.stderr_file.close()


class WholeProgram(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        cls.picture = os.path.join(cls.files.name, "picture.png")
        write_png(cls.picture, *PICTURE_SIZE, test_picture)
        cls.paper = os.path.join(cls.files.name, "paper.png")
        write_png(cls.paper, 64, 48, test_paper)
        cls.bad = os.path.join(cls.files.name, "broken.png")
        with open(cls.bad, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\nthis is not a picture")

    @classmethod
    def tearDownClass(cls):
        cls.files.cleanup()

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.program = Program(self.folder.name)
        self.area = fit(800, 600, *PICTURE_SIZE)

    def tearDown(self):
        self.program.close()
        self.folder.cleanup()

    def import_picture_by_keyboard(self):
        self.program.choose(self.picture)
        self.program.park_mouse()

    def options_box(self, parameters=(1.0, THIRD, THIRD)):
        """The Options window's rectangle, seen as where the screen differs from the picture."""
        return self.program.wait_different(self.picture, DEFAULT_PAPER, self.area, parameters,
                                           what="the Options window")

    def test_ctrl_o_imports_and_v_hides_and_shows_options(self):
        p = self.program
        # A cancelled chooser leaves no trace.
        p.answer("cancel")
        p.key("ctrl+o")
        wait_for(lambda: len(p.chooser_calls()) == 1, what="the chooser")
        self.assertIn("--file-selection", p.chooser_calls()[0])
        self.assertIn("*.png", p.chooser_calls()[0])
        p.wait_frames(10)  # frames drawn after the chooser's answer
        self.assertNotIn("Loading", p.stderr())

        self.import_picture_by_keyboard()
        box = self.options_box()
        # The library places a new window at (60, 60); it covers part of the picture.
        self.assertEqual(box[:2], (60, 60), box)
        p.key("v")
        p.wait_match(self.picture, DEFAULT_PAPER, self.area, what="the picture with Options hidden")
        p.key("v")
        self.assertEqual(self.options_box(), box, "Options shows again in the same place")
        self.assertEqual(len(p.chooser_calls()), 2)

    def test_a_click_on_a_slider_changes_the_picture(self):
        p = self.program
        self.import_picture_by_keyboard()
        box = self.options_box()
        # The right end of "Filter Intensity" sets it to 1.000.
        p.click(box[0] + SLIDER_LEFT + SLIDER_WIDTH - 2, box[1] + SLIDER_ROWS["Filter Intensity"])
        p.park_mouse()
        p.key("v")
        p.wait_match(self.picture, DEFAULT_PAPER, self.area, (1.0, THIRD, 1.0), what="the picture at intensity 1")
        # The left end of "Brush Opacity" sets it to 0.000.
        p.key("v")
        self.assertEqual(self.options_box((1.0, THIRD, 1.0)), box)
        p.click(box[0] + SLIDER_LEFT + 1, box[1] + SLIDER_ROWS["Brush Opacity"])
        p.park_mouse()
        p.key("v")
        p.wait_match(self.picture, DEFAULT_PAPER, self.area, (0.0, THIRD, 1.0), what="the picture at opacity 0")

    def test_import_filter_replaces_the_paper(self):
        p = self.program
        self.import_picture_by_keyboard()
        p.key("v")
        p.wait_match(self.picture, DEFAULT_PAPER, self.area)
        p.answer("choose " + self.paper)
        p.click(*FILE_MENU)
        p.click(30, FILE_ROWS["Import Filter"])
        wait_for(lambda: f"[Info]: Loading filter texture: {self.paper}\n" in p.stderr(), what="the paper's log line")
        p.park_mouse()
        p.wait_match(self.picture, self.paper, self.area, what="the picture on the new paper")
        p.wait_frames(10)
        self.assertEqual(p.compare(self.picture, self.paper, self.area)[0], 0, "a paper import leaves Options hidden")

    def test_a_bad_file_shows_a_message_and_keeps_the_picture(self):
        p = self.program
        self.import_picture_by_keyboard()
        p.key("v")
        p.wait_match(self.picture, DEFAULT_PAPER, self.area)

        p.choose(self.bad)
        wait_for(lambda: "[Error]: " in p.stderr(), what="the error line")
        # The message dims everything behind it.
        p.wait_different(self.picture, DEFAULT_PAPER, self.area, at_least=300000, what="the message")
        p.key("Return")
        p.wait_match(self.picture, DEFAULT_PAPER, self.area, what="the old picture after the message")

        # A chooser that fails says so the same way.
        p.answer("fail")
        p.key("ctrl+o")
        p.wait_different(self.picture, DEFAULT_PAPER, self.area, at_least=300000, what="the chooser's message")
        p.key("Escape")
        p.wait_match(self.picture, DEFAULT_PAPER, self.area, what="the picture after the chooser's message")
        self.assertEqual(p.stderr().count("[Info]: Loading"), 2, "a failed chooser loads nothing")
        self.assertIsNone(p.process.poll())

    def test_resizing_keeps_the_picture_fitted_and_centred(self):
        p = self.program
        self.import_picture_by_keyboard()
        p.key("v")
        # Wider and taller at 1:1 (bars at the sides, then above and below), then scaled up and
        # down. The screen is 1280 x 1024 and the window starts centred for 800 x 600.
        for width, height in [(1000, 400), (800, 500)]:
            xdotool("windowsize", p.window, width, height)
            wait_for(lambda: p.size() == (width, height), what="the resize")
            p.park_mouse()
            p.wait_match(self.picture, DEFAULT_PAPER, fit(width, height, *PICTURE_SIZE),
                         what=f"the picture centred in {width}x{height}")
        for width, height in [(1000, 700), (600, 600), (900, 300)]:
            xdotool("windowsize", p.window, width, height)
            wait_for(lambda: p.size() == (width, height), what="the resize")
            p.park_mouse()
            p.wait_fitted(self.picture, DEFAULT_PAPER, fit(width, height, *PICTURE_SIZE),
                          what=f"the picture fitted to {width}x{height}")

    def test_exit_ends_at_once_with_status_zero(self):
        p = self.program
        log = p.stderr()
        p.click(*FILE_MENU)
        p.click(30, FILE_ROWS["Exit"])
        self.assertEqual(p.wait_exit(), 0)
        self.assertEqual(p.stderr(), log, "nothing is written on the way out")

    def test_closing_the_window_ends_with_status_zero(self):
        p = self.program
        self.import_picture_by_keyboard()
        subprocess.run([WM_CLOSE, p.window], check=True, timeout=60)
        self.assertEqual(p.wait_exit(), 0)


if __name__ == "__main__":
    PROGRAM, COMPARE, WM_CLOSE, DEFAULT_PAPER = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1], verbosity=2)
