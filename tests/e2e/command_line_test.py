#!/usr/bin/env python3
"""The program's command line and its empty canvas, on a virtual display.

Usage: command_line_test.py VELLUMRY COMPARE_WINDOW PAPER VERSION   (under tests/support/with-xvfb.sh)

A picture named on the command line arrives as an import through the menu would (its log line
after the start-up lines, the Options window, the picture on screen exactly as the brush filter
computed on the CPU paints it); one that does not load shows the notice and the program runs on;
--help, --version and mistakes answer without a window. Until the first picture the canvas
shows one centred line of help.
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
from desktop_program import ProgramTestCase, bright_box  # noqa: E402

VERSION = None
START_LINES = ["[Info]: OpenGL version: ", "[Info]: OpenGL vendor: ", "[Info]: OpenGL renderer: ",
               "[Info]: Shader model: ", "[Info]: Compiled shaders", "[Info]: Created shader program",
               "[Info]: Loaded default filter texture"]


class CommandLineAnswers(unittest.TestCase):
    """--help, --version and mistakes: printed, an exit status, no window. With no display at
    all, opening a window would fail and end the program abnormally."""

    def answer(self, *args):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        return subprocess.run([pt.PROGRAM, *args], capture_output=True, text=True, env=env, timeout=120)

    def test_help_and_version_print_to_the_standard_output(self):
        for option in ("--help", "-h"):
            result = self.answer(option)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertTrue(result.stdout.startswith("Usage: vellumry [OPTION]... [PICTURE]\n"), result.stdout)
            self.assertIn("--version", result.stdout)
            self.assertEqual(result.stderr, "")
        result = self.answer("--version")
        self.assertEqual((result.returncode, result.stdout, result.stderr), (0, f"vellumry {VERSION}\n", ""))

    def test_mistakes_print_the_usage_to_the_standard_error_with_status_2(self):
        for args, first_line in [(["--frobnicate"], "vellumry: unknown option: --frobnicate"),
                                 (["a.png", "b.png"], "vellumry: one picture at a time; also given: b.png")]:
            result = self.answer(*args)
            self.assertEqual(result.returncode, 2, args)
            self.assertEqual(result.stdout, "")
            lines = result.stderr.splitlines()
            self.assertEqual(lines[0], first_line)
            self.assertEqual(lines[1], "Usage: vellumry [OPTION]... [PICTURE]")


class PictureOnTheCommandLine(ProgramTestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        folder = os.path.join(cls.files.name, "My pictures \u00e9t\u00e9")
        os.mkdir(folder)
        cls.picture = os.path.join(folder, "picture \u00e9.png")
        pt.write_png(cls.picture, *pt.PICTURE_SIZE, pt.test_picture)
        cls.area = pt.fit(800, 600, *pt.PICTURE_SIZE)

    @classmethod
    def tearDownClass(cls):
        cls.files.cleanup()

    def test_a_picture_is_imported_at_start_up_and_painted(self):
        p = self.start(self.picture)
        line = f"[Info]: Loading diffuse texture: {self.picture}"
        wait_for(lambda: line in p.stderr(), what="the import's log line")
        lines = p.stderr().splitlines()
        for expected, got in zip(START_LINES, lines):
            self.assertTrue(got.startswith(expected), lines)
        self.assertEqual(lines[len(START_LINES)], line, "right after the renderer's start-up lines")
        # The Options window is shown, as after an import through the menu.
        p.wait_painted(self.picture, pt.DEFAULT_PAPER, self.area, what="the picture from the command line")
        self.assertNotIn("[Error]", p.stderr())

    def test_a_phone_photo_stored_turned_shows_upright(self):
        # Stored as the sensor saw it, a quarter turned, with the EXIF tag that turns it back;
        # the reference is ImageMagick's upright reading of the same file.
        stored = os.path.join(self.folder.name, "phone.jpg")
        upright = os.path.join(self.folder.name, "phone-upright.png")
        subprocess.run(["convert", self.picture, "-rotate", "90", "-quality", "95", stored], check=True)
        subprocess.run(["exiftool", "-q", "-overwrite_original", "-Orientation#=8", stored], check=True)
        subprocess.run(["convert", stored, "-auto-orient", upright], check=True)
        p = self.start(stored)
        p.wait_painted(upright, pt.DEFAULT_PAPER, self.area, what="the photo, upright")

    def test_a_picture_that_does_not_load_shows_the_notice_and_the_program_runs_on(self):
        missing = os.path.join(self.folder.name, "no such picture.png")
        p = self.start(missing)
        wait_for(lambda: f"[Error]: Failed to load texture: {missing}: " in p.stderr(), what="the error line")
        self.assertIn(f"[Info]: Loading diffuse texture: {missing}\n", p.stderr())
        p.park_mouse()
        # The notice is a box in the middle of the window, far larger than the hint's line.
        wait_for(lambda: (lambda b: b and b[3] - b[1] > 60)(bright_box(p.screenshot())), what="the notice")
        p.key("Escape")
        # Dismissed, it leaves the empty canvas's line of help.
        wait_for(lambda: (lambda b: b and b[3] - b[1] < 30 and abs((b[0] + b[2]) / 2 - 400) <= 2)(
            bright_box(p.screenshot())), what="the notice to go")
        self.assertIsNone(p.process.poll(), "the program runs on")
        # It still imports: the same picture through the chooser.
        p.choose(self.picture)
        p.wait_painted(self.picture, pt.DEFAULT_PAPER, self.area, what="the picture after the failed start")

    def test_the_empty_canvas_says_how_to_bring_a_picture_in(self):
        p = self.start()
        p.park_mouse()
        # One line, centred in the 800 x 600 area that the empty canvas fills.
        box = wait_for(lambda: bright_box(p.screenshot()), what="the hint")
        left, top, right, bottom = box
        self.assertLess(bottom - top, 30, box)
        self.assertGreater(right - left, 400, box)
        self.assertLessEqual(abs((left + right) / 2 - 400), 2, box)
        self.assertLessEqual(abs((top + bottom) / 2 - 300), 4, box)

        # Too narrow for the line: two lines, each centred, in the middle of the fitted area.
        pt.xdotool("windowsize", p.window, 500, 400)
        wait_for(lambda: p.size() == (500, 400), what="the resize")
        p.park_mouse()
        x, top_from_top, w, h = pt.fit(500, 400, 800, 600)
        box = wait_for(lambda: (lambda b: b if b and b[3] - b[1] > 30 else None)(bright_box(p.screenshot())),
                       what="the hint in two lines")
        left, top, right, bottom = box
        self.assertLess(bottom - top, 60, box)
        self.assertLess(right - left, 480, box)
        self.assertLessEqual(abs((left + right) / 2 - 250), 2, box)
        self.assertLessEqual(abs((top + bottom) / 2 - (top_from_top + h / 2)), 4, box)

        # Gone with the first picture: the window shows exactly the painted picture.
        pt.xdotool("windowsize", p.window, 800, 600)
        wait_for(lambda: p.size() == (800, 600), what="the resize back")
        p.choose(self.picture)
        p.wait_painted(self.picture, pt.DEFAULT_PAPER, self.area, what="the picture, without the hint")


if __name__ == "__main__":
    pt.PROGRAM, pt.COMPARE, pt.DEFAULT_PAPER, VERSION = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
