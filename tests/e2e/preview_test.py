#!/usr/bin/env python3
"""The cached preview in the real program on a virtual display, driven like a user with xdotool.

Usage: preview_test.py VELLUMRY COMPARE_WINDOW COMPARE_IMAGES PAPER   (under tests/support/with-xvfb.sh)

The program runs with its frame probe (VELLUMRY_FRAME_PROBE): one line per frame on its error
stream says how many times the brush pass has painted, so the tests count paints frame by frame
instead of timing anything. The reference for the screens is the same program with
VELLUMRY_UNCACHED_PREVIEW, whose pass runs straight into the window in every frame, as it did
before the cache. COMPARE_IMAGES compares screenshots with each other and with the picture
scaled bilinearly; PAPER is the embedded default paper's source file.
"""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import program_test as e2e  # noqa: E402
from desktop import wait_for, xdotool  # noqa: E402

COMPARE_IMAGES = None

INITIAL_BRUSH = ("1", "0.333333343", "0.333333343")

# The Options window opens at (60, 60); its rows from its top edge (see program_test.py), the
# button row one slider pitch below the last slider.
OPTIONS_ORIGIN = (60, 60)
RESET_ROW = 2 * e2e.SLIDER_ROWS["Filter Intensity"] - e2e.SLIDER_ROWS["Brush Stroke"]


def gl_area(window_w, window_h, picture_w, picture_h):
    """The drawn area as the GL's viewport: (x, y from the bottom, width, height)."""
    x, top, w, h = e2e.fit(window_w, window_h, picture_w, picture_h)
    return x, window_h - top - h, w, h


def same_screens(a, b):
    result = e2e.run(COMPARE_IMAGES, "same", a, b, timeout=120)
    assert result.returncode == 0, result.stderr
    return int(result.stdout.split("=")[1])


class ProbedProgram(e2e.Program):
    """The program (its frame probe on), its pass uncached when asked."""

    def __init__(self, folder, uncached=False):
        super().__init__(folder, env={"VELLUMRY_UNCACHED_PREVIEW": "1"} if uncached else None)

    def settled_screenshot(self):
        """A screenshot that the next frames leave as it is (two equal, frames apart)."""
        self.wait_frames(3)
        shot = self.screenshot()
        for _ in range(40):
            self.wait_frames(3)
            again = self.screenshot()
            if same_screens(shot, again) == 0:
                return again
            shot = again
        raise AssertionError("the screen does not settle")

    def wait_brush(self, brush):
        return wait_for(lambda: self.last().brush == brush, what=f"the brush at {brush}")

    def key_down(self, key):
        xdotool("windowfocus", "--sync", self.window)
        xdotool("keydown", key)

    def key_up(self, key):
        xdotool("keyup", key)

    def drag(self, x, y, dx, dy, steps=10):
        """Presses at (x, y) in the window and moves by (dx, dy) in steps, a few frames each,
        then releases. Moves are relative: the pointer's warps of an absolute move do not reach
        SDL's global pointer state while a button is held."""
        self.move_mouse(x, y)
        self.wait_frames(3)
        xdotool("mousedown", "1")
        self.wait_frames(3)
        for _ in range(steps):
            xdotool("mousemove_relative", "--", dx // steps, dy // steps)
            self.wait_frames(2)
        xdotool("mouseup", "1")
        self.wait_frames(2)
        self.park_mouse()

    def options_click(self, x, row):
        self.click(OPTIONS_ORIGIN[0] + x, OPTIONS_ORIGIN[1] + row)
        self.park_mouse()


def check_paints_frame_by_frame(test, frames):
    """A frame paints exactly when what its draw reads differs from what the frame before drew
    with: the parameters or the slots that the previous frame left, or the drawn area. So a
    change shows in the next frame, and nothing else paints."""
    for before, previous, frame in zip(frames, frames[1:], frames[2:]):
        test.assertEqual((before.number + 1, previous.number + 1), (previous.number, frame.number),
                         "a frame is missing")
        drawn_before = gl_area(*previous.window, *before.picture) if before.picture != (0, 0) else None
        drawn = gl_area(*frame.window, *previous.picture) if previous.picture != (0, 0) else None
        changed = drawn is not None and drawn[2] > 0 and drawn[3] > 0 and (
            drawn != drawn_before or previous.brush != before.brush or previous.slots != before.slots)
        test.assertEqual(frame.paints - previous.paints, 1 if changed else 0, f"frame {frame} after {previous}")


class CachedPreview(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        cls.picture = os.path.join(cls.files.name, "picture.png")
        e2e.write_png(cls.picture, *e2e.PICTURE_SIZE, e2e.test_picture)
        # A second picture of another size and aspect, shown larger than its size.
        cls.second = os.path.join(cls.files.name, "second.png")
        e2e.write_png(cls.second, 300, 500, lambda x, y: ((x * 7) % 256, (y * 3) % 256, 255 - (x + y) % 256))
        cls.paper = os.path.join(cls.files.name, "paper.png")
        e2e.write_png(cls.paper, 64, 48, e2e.test_paper)

    @classmethod
    def tearDownClass(cls):
        cls.files.cleanup()

    def setUp(self):
        self.folders, self.programs = [], []

    def tearDown(self):
        for p in self.programs:
            p.close()
        for f in self.folders:
            f.cleanup()

    def start(self, uncached=False):
        folder = tempfile.TemporaryDirectory()
        self.folders.append(folder)
        program = ProbedProgram(folder.name, uncached)
        self.programs.append(program)
        return program

    def import_picture(self, p, path):
        p.choose(path)
        p.park_mouse()

    def resize(self, p, width, height):
        xdotool("windowsize", p.window, width, height)
        wait_for(lambda: p.size() == (width, height), what="the resize")
        wait_for(lambda: p.last().window == (width, height), what="a frame at the new size")
        p.park_mouse()

    def sequence(self, p):
        """Start, import, two slider changes, a paper, odd sizes and back, V, another picture:
        a settled screenshot after each step."""
        shots = [("start", p.settled_screenshot())]

        def step(name, action):
            action()
            shots.append((name, p.settled_screenshot()))

        step("import", lambda: self.import_picture(p, self.picture))
        step("intensity", lambda: p.options_click(e2e.SLIDER_LEFT + e2e.SLIDER_WIDTH - 2,
                                                  e2e.SLIDER_ROWS["Filter Intensity"]))
        step("stroke", lambda: p.options_click(e2e.SLIDER_LEFT + e2e.SLIDER_WIDTH // 4,
                                               e2e.SLIDER_ROWS["Brush Stroke"]))
        # A drag: a new opacity in many frames in a row.
        step("opacity dragged", lambda: p.drag(OPTIONS_ORIGIN[0] + e2e.SLIDER_LEFT + e2e.SLIDER_WIDTH - 30,
                                               OPTIONS_ORIGIN[1] + e2e.SLIDER_ROWS["Brush Opacity"], -150, 0))

        def paper():
            p.answer("choose " + self.paper)
            p.click(*e2e.FILE_MENU)
            p.click(30, e2e.FILE_ROWS["Import Filter"])
            wait_for(lambda: f"[Info]: Loading filter texture: {self.paper}\n" in p.stderr(), what="the paper")
            p.park_mouse()

        step("paper", paper)
        step("1001x555", lambda: self.resize(p, 1001, 555))
        step("777x601", lambda: self.resize(p, 777, 601))
        step("800x600", lambda: self.resize(p, 800, 600))
        step("V", lambda: p.key("v"))
        step("second picture", lambda: self.import_picture(p, self.second))
        return shots

    def test_cached_screens_equal_the_uncached_pass_and_each_change_paints_in_the_next_frame(self):
        uncached = self.start(uncached=True)
        reference = self.sequence(uncached)
        self.assertEqual(uncached.last().paints, 0, "the uncached pass never paints a cache")
        uncached.close()

        cached = self.start()
        shots = self.sequence(cached)
        for (name, reference_shot), (_, shot) in zip(reference, shots):
            self.assertEqual(same_screens(reference_shot, shot), 0, f"the screens after '{name}' differ")
        # The steps did change the screen, and going back to 800 x 600 gave the same screen back.
        for (name, before), (next_name, after) in zip(shots, shots[1:]):
            if next_name != "800x600":
                self.assertNotEqual(same_screens(before, after), 0, f"'{next_name}' changed nothing")
        names = [name for name, _ in shots]
        self.assertEqual(same_screens(shots[names.index("paper")][1], shots[names.index("800x600")][1]), 0)

        frames = cached.frames()
        self.assertGreater(len(frames), 50)
        check_paints_frame_by_frame(self, frames)
        # One paint each: the picture, two parameters, the paper, three drawn areas, the second
        # picture; one for each frame that the drag changed the opacity in; none for V or for
        # the frames in between.
        opacities = len({f.brush[0] for f in frames})
        self.assertGreaterEqual(opacities, 4, "the drag went through several opacities")
        self.assertEqual(frames[-1].paints, 8 + opacities - 1)

    def test_no_paint_over_idle_frames_or_frames_that_change_only_the_interface(self):
        p = self.start()
        self.import_picture(p, self.picture)
        settled = p.settled_screenshot()
        paints = p.last().paints
        self.assertGreaterEqual(paints, 1)
        p.wait_frames(100)
        self.assertEqual(p.last().paints, paints, "100 idle frames")

        # Menus opened and hovered, then closed by a click on the picture.
        p.click(*e2e.FILE_MENU)
        p.wait_frames(5)
        for row in e2e.FILE_ROWS.values():
            p.move_mouse(40, row)
            p.wait_frames(3)
        p.click(600, 500)
        p.click(*e2e.VIEW_MENU)
        p.wait_frames(5)
        p.click(600, 500)
        # The Options window dragged by its title bar.
        p.drag(OPTIONS_ORIGIN[0] + 120, OPTIONS_ORIGIN[1] + 10, 200, 150)
        moved = p.settled_screenshot()
        self.assertGreater(same_screens(settled, moved), 0, "the Options window moved")
        self.assertEqual(p.last().paints, paints, "frames that changed only the interface")
        check_paints_frame_by_frame(self, p.frames())

    def test_holding_c_shows_the_original_and_reset_brings_back_the_start(self):
        p = self.start()
        self.import_picture(p, self.picture)
        # Shown larger than its size (1000 x 500 in 1000 x 700), Options hidden.
        self.resize(p, 1000, 700)
        p.key("v")
        painting = p.settled_screenshot()
        paints = p.last().paints

        p.key_down("c")
        area = e2e.fit(1000, 700, *e2e.PICTURE_SIZE)

        def original_shown():
            result = e2e.run(COMPARE_IMAGES, "original", p.screenshot(), self.picture, *[str(v) for v in area],
                             str(e2e.MENU_BAR_HEIGHT + 2), timeout=120)
            assert result.returncode == 0, result.stderr
            return result.stdout.startswith("inside=0 outside=0 ")

        wait_for(original_shown, what="the original picture while C is held")
        p.key_up("c")
        wait_for(lambda: same_screens(p.screenshot(), painting) == 0, what="the painting once C is released")
        self.assertEqual(p.last().paints, paints, "comparing paints nothing")

        # Two parameters changed, then Reset: the parameters and the painting of the start.
        p.key("v")
        p.wait_frames(3)
        p.options_click(e2e.SLIDER_LEFT + e2e.SLIDER_WIDTH - 2, e2e.SLIDER_ROWS["Filter Intensity"])
        p.options_click(e2e.SLIDER_LEFT + 1, e2e.SLIDER_ROWS["Brush Opacity"])
        p.wait_brush(("0", "0.333333343", "1"))
        p.options_click(e2e.SLIDER_LEFT + 20, RESET_ROW)
        p.wait_brush(INITIAL_BRUSH)
        p.key("v")
        wait_for(lambda: same_screens(p.screenshot(), painting) == 0, what="the painting of the start after Reset")
        check_paints_frame_by_frame(self, p.frames())


if __name__ == "__main__":
    e2e.PROGRAM, e2e.COMPARE, COMPARE_IMAGES, e2e.DEFAULT_PAPER = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1], verbosity=2)
