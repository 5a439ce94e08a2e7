#!/usr/bin/env python3
"""The interface at the desktop's scale, on a virtual display whose X resource database says
Xft.dpi: 192 (200 %), against the same program at 96 (100 %): the window opens twice as large,
the menu bar is twice as tall and the font's strokes twice as wide, with as many fully lit pixels
across a stroke as its width says (a font drawn at its size, not a small one stretched); the
painting is the same, so an export at 200 % is the very file exported at 100 %.

Usage: scale_test.py VELLUMRY COMPARE_WINDOW PAPER   (under tests/support/with-xvfb.sh, on a screen
of at least 1700 x 1300)
"""
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import program_test as pt  # noqa: E402
from desktop import wait_for  # noqa: E402
from desktop_program import pixel, rgb_image  # noqa: E402


def set_dpi(dpi):
    subprocess.run(["xrdb", "-load", "-"], input=f"Xft.dpi: {dpi}\n", text=True, check=True, timeout=60)


def bar_height(image):
    """Rows from the top down to the picture's black band, at the bar's right end (no label
    there)."""
    w, h, _ = image
    rows = 0
    while rows < h and pixel(image, w - 4, rows) != (0, 0, 0):
        rows += 1
    return rows


def ink(image, box):
    """(ink, fully lit pixels) of the text in box (left, top, right, bottom): the text's
    brightness over the bar's, summed in units of its brightest pixel; and the pixels within a
    tenth of the brightest."""
    left, top, right, bottom = box
    background = pixel(image, left, top)[0]
    values = [pixel(image, x, y)[0] - background for y in range(top, bottom) for x in range(left, right)]
    peak = max(values)
    return sum(max(v, 0) for v in values) / peak, sum(v >= peak * 0.9 for v in values)


class DesktopScale(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        cls.picture = os.path.join(cls.files.name, "picture.png")
        pt.write_png(cls.picture, *pt.PICTURE_SIZE, pt.test_picture)
        cls.seen = {dpi: cls.run_at(dpi) for dpi in (96, 192)}

    @classmethod
    def tearDownClass(cls):
        set_dpi(96)
        cls.files.cleanup()

    @classmethod
    def run_at(cls, dpi):
        """The program at that setting: its log, its window, a screenshot, an exported file."""
        set_dpi(dpi)
        folder = os.path.join(cls.files.name, str(dpi))
        os.mkdir(folder)
        p = pt.Program(folder, [cls.picture])
        try:
            p.wait_picture(*pt.PICTURE_SIZE)
            p.park_mouse()
            shot = rgb_image(p.screenshot())
            exported = os.path.join(folder, "painted.png")
            p.answer("choose " + exported)
            p.key("ctrl+s")
            wait_for(lambda: "[Info]: Exported picture: " in p.stderr(), timeout=300, what="the export")
            with open(exported, "rb") as f:
                return {"log": p.stderr(), "size": p.size(), "window": p.last().window, "shot": shot,
                        "export": f.read()}
        finally:
            p.close()

    def test_the_window_opens_at_the_same_logical_size(self):
        self.assertEqual(self.seen[96]["size"], (800, 600))
        self.assertEqual(self.seen[192]["size"], (1600, 1200))
        self.assertEqual(self.seen[192]["window"], (1600, 1200), "the picture drawn in real pixels")
        self.assertNotIn("Interface scale", self.seen[96]["log"], "at 100 % nothing changes")
        self.assertIn("[Info]: Interface scale: 200 %\n", self.seen[192]["log"])

    def test_the_menu_bar_is_twice_as_tall(self):
        self.assertEqual(bar_height(self.seen[96]["shot"]), pt.MENU_BAR_HEIGHT)
        self.assertEqual(bar_height(self.seen[192]["shot"]), 2 * pt.MENU_BAR_HEIGHT)

    def test_the_font_is_drawn_at_twice_the_size_and_sharp(self):
        # "File": twice as wide and twice as tall, so four times the ink.
        small_ink, small_full = ink(self.seen[96]["shot"], (2, 2, 48, 25))
        large_ink, large_full = ink(self.seen[192]["shot"], (4, 4, 96, 50))
        self.assertGreaterEqual(large_ink / small_ink, 3.2)
        self.assertLessEqual(large_ink / small_ink, 4.8)
        # A small font stretched would light its thin strokes in half tones only.
        self.assertGreaterEqual(large_full, 3 * small_full)

    def test_an_export_is_the_same_file_at_any_scale(self):
        self.assertEqual(self.seen[96]["export"], self.seen[192]["export"])


if __name__ == "__main__":
    pt.PROGRAM, pt.COMPARE, pt.DEFAULT_PAPER = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
