#!/usr/bin/env python3
"""Zoom and pan in the whole program on a virtual display: at 100 % the window shows the very
pixels of the exported file; the wheel zooms about the pointer, a drag pans and stops at the
picture's edges, C shows the original at the same zoom and place, 0 fits again, a resize keeps
the zoom and the centre, and a new picture comes in fitted.
Usage: zoom_test.py VELLUMRY COMPARE_WINDOW PAPER   (under tests/support/with-xvfb.sh)

Every check compares screenshots with pixels the test knows (the exported file, the picture
itself), at the places the zoom's rules put them; every wait is on the program's frame probe."""
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import program_test as pt  # noqa: E402
from desktop import wait_for, xdotool  # noqa: E402
from desktop_program import ProgramTestCase, rgb_image  # noqa: E402

BIG = (1600, 1000)
# Below the menu bar, above the export's strip and left of the zoom's indicator.
REGION = (0, pt.MENU_BAR_HEIGHT + 4, 700, 440)


def detailed(x, y):
    """Every pixel unlike its neighbours, so that a place off by one pixel shows."""
    return ((x * 7 + y * 13) % 256, (x * y + 3 * x) % 251, (x ^ (y * 3)) & 255)


def region_of(image, x, y, w, h):
    """Rows of RGB bytes of a rectangle of an rgb_image."""
    width, _, data = image
    return [data[((y + r) * width + x) * 3:((y + r) * width + x + w) * 3] for r in range(h)]


def mapped(image, left, top, scale, region):
    """What a window region shows of `image` drawn with its top-left corner at (left, top) and
    each pixel `scale` window pixels wide (a whole number: the nearest pixel)."""
    x0, y0, w, h = region
    width, _, data = image
    rows = []
    for y in range(y0, y0 + h):
        py = (y - top) // scale
        row = bytearray()
        for x in range(x0, x0 + w):
            i = (py * width + (x - left) // scale) * 3
            row += data[i:i + 3]
        rows.append(bytes(row))
    return rows


class Zoom(ProgramTestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        cls.big = os.path.join(cls.files.name, "big.png")
        pt.write_png(cls.big, *BIG, detailed)
        cls.small = os.path.join(cls.files.name, "small.png")
        pt.write_png(cls.small, *pt.PICTURE_SIZE, pt.test_picture)

    @classmethod
    def tearDownClass(cls):
        cls.files.cleanup()

    def shows(self, expected, what):
        """Waits until the window's REGION shows exactly these rows."""
        wait_for(lambda: region_of(rgb_image(self.program.screenshot()), *REGION) == expected, what=what)

    def test_zoom_shows_the_exported_pixels_and_follows_the_keys_wheel_and_drags(self):
        p = self.start(self.big)
        p.wait_picture(*BIG)
        p.wait_frames(3)
        p.key("v")  # the Options window goes
        p.park_mouse()
        fitted = region_of(rgb_image(p.screenshot()), *REGION)

        # The export at the fitted view; its confirmation fades before the screen is looked at.
        exported = os.path.join(self.folder.name, "big-painted.png")
        p.answer("choose " + exported)
        p.key("ctrl+s")
        p.probe.wait_line("[Info]: Exported picture: " + exported)
        wait_for(lambda: p.wait_frames(1).saved is False, what="the confirmation gone")
        painting, original = rgb_image(exported), rgb_image(self.big)

        # 1: 100 % about the centre. The fitted picture is centred, so the picture's centre
        # stays at the window's: the window shows the file's pixels from (400, 200) on.
        p.key("1")
        self.shows(mapped(painting, -400, -200, 1, REGION), "the exported pixels at 100 %")

        # Held C: the original at the same zoom and place.
        xdotool("keydown", "c")
        self.shows(mapped(original, -400, -200, 1, REGION), "the original at 100 %")
        xdotool("keyup", "c")

        # Two notches of the wheel over (200, 150): 150 %, then 200 %, the picture point under
        # the pointer (600, 350) kept there.
        p.move_mouse(200, 150)
        for _ in range(2):
            xdotool("click", "4")
            p.wait_frames(2)
        self.shows(mapped(painting, 200 - 600 * 2, 150 - 350 * 2, 2, REGION), "200 % about the pointer")

        # A drag moves the picture with the pointer; far past its edge, it stops there.
        p.move_mouse(300, 300)
        xdotool("mousedown", "1")
        p.wait_frames(2)
        for _ in range(4):
            xdotool("mousemove_relative", "--", "-25", "-10")
            p.wait_frames(2)
        xdotool("mouseup", "1")
        self.shows(mapped(painting, -1000 - 100, -550 - 40, 2, REGION), "the drag")
        for _ in range(2):
            p.move_mouse(100, 100)
            xdotool("mousedown", "1")
            p.wait_frames(2)
            xdotool("mousemove_relative", "--", "650", "450")
            p.wait_frames(2)
            xdotool("mouseup", "1")
            p.wait_frames(2)
        self.shows(mapped(painting, 0, 0, 2, REGION), "the picture's corner at the window's")

        # 0: the fitted view again, exactly as at first.
        p.park_mouse()
        p.key("0")
        self.shows(fitted, "the fitted view again")

        # A resize keeps 100 % and the centre point: (800, 500) of the picture moves to the
        # middle of the larger window. (The painting follows the window's size; the original,
        # under C, does not.)
        p.key("1")
        xdotool("windowsize", p.window, "1000", "700")
        wait_for(lambda: p.wait_frames(1).window == (1000, 700), what="a frame at the new size")
        xdotool("keydown", "c")
        self.shows(mapped(original, 500 - 800, 350 - 500, 1, REGION), "the centre kept through the resize")
        xdotool("keyup", "c")

        # A new picture comes in fitted, whatever the zoom was (in the first window's size, where
        # it is drawn 1:1 and matches the reference exactly).
        xdotool("windowsize", p.window, "800", "600")
        wait_for(lambda: p.wait_frames(1).window == (800, 600), what="a frame at the first size")
        p.answer("choose " + self.small)
        p.key("ctrl+o")
        p.wait_picture(*pt.PICTURE_SIZE)
        p.wait_painted(self.small, pt.DEFAULT_PAPER, pt.fit(800, 600, *pt.PICTURE_SIZE), what="the new picture fitted")


if __name__ == "__main__":
    pt.PROGRAM, pt.COMPARE, pt.DEFAULT_PAPER = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
