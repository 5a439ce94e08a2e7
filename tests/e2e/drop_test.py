#!/usr/bin/env python3
"""Files dropped on the program's window through a real XDND exchange on the virtual display.

Usage: drop_test.py VELLUMRY COMPARE_WINDOW PAPER VERSION   (under tests/support/with-xvfb.sh)

The drag source is a small X client of our own (tests/support/xdnd.py) that does what a file
manager does: it holds the pointer while it drags, moves it to the drop point, offers a
text/uri-list and sends XdndEnter, XdndPosition and XdndDrop to the window under the pointer.
Because the drag holds the pointer, the program sees no pointer motion during it; each test
leaves the pointer somewhere else before the drag, so a program that trusted its last seen
pointer position would send the file to the wrong place. What the program does is checked in
its log and on screen against the brush filter computed on the CPU.
"""
import os
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import program_test as pt  # noqa: E402
from desktop import wait_for  # noqa: E402
from desktop_program import ProgramTestCase, bright_box  # noqa: E402
from xdnd import DragSource, file_uri  # noqa: E402


class Drops(ProgramTestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        # A name a file manager percent-encodes: spaces, non-ASCII, a '%' and a '#'.
        folder = os.path.join(cls.files.name, "Holiday 2024 \u00e9t\u00e9 #1")
        os.mkdir(folder)
        cls.picture = os.path.join(folder, "caf\u00e9 100% \u65e5\u672c.png")
        pt.write_png(cls.picture, *pt.PICTURE_SIZE, pt.test_picture)
        cls.paper = os.path.join(folder, "rough paper.png")
        pt.write_png(cls.paper, 64, 48, pt.test_paper)
        cls.area = pt.fit(800, 600, *pt.PICTURE_SIZE)
        cls.source = DragSource()

    @classmethod
    def tearDownClass(cls):
        cls.source.close()
        cls.files.cleanup()

    def drop(self, uris, x, y, payloads=None):
        """Drops file URIs (or other payloads: {type: bytes}) on the program's window at (x, y)
        in the window; returns the source's answer."""
        ox, oy = self.program.origin()
        if payloads:
            answer = self.source.drop(payloads, ox + x, oy + y)
        else:
            answer = self.source.drop_uris(uris, ox + x, oy + y)
        self.assertEqual(answer.target, int(self.program.window), "the program's window is the drop target")
        self.assertTrue(answer.accepted and answer.finished, vars(answer))
        return answer

    def loads(self):
        return [line for line in self.program.stderr().splitlines() if line.startswith("[Info]: Loading")]

    def test_a_drop_goes_where_the_pointer_lets_go(self):
        p = self.start()
        paper_preview = p.show_textures()
        # Last seen over the paper preview; dropped on the middle of the canvas: the picture.
        p.move_mouse(*paper_preview)
        self.drop([file_uri(self.picture)], 400, 400)
        wait_for(lambda: self.loads(), what="the import")
        self.assertEqual(self.loads(), [f"[Info]: Loading diffuse texture: {self.picture}"])

        # Last seen over the canvas; dropped on the paper preview: the paper.
        p.move_mouse(400, 400)
        self.drop([file_uri(self.paper)], *paper_preview)
        wait_for(lambda: len(self.loads()) == 2, what="the paper's import")
        self.assertEqual(self.loads()[1], f"[Info]: Loading filter texture: {self.paper}")

        p.hide_textures()
        p.hide_options_once_shown(self.picture, self.paper, self.area)
        p.wait_match(self.picture, self.paper, self.area, what="the dropped picture on the dropped paper")
        self.assertNotIn("[Error]", p.stderr())

    def test_of_several_files_the_first_is_taken_and_a_notice_says_so(self):
        p = self.start()
        p.move_mouse(700, 500)
        self.drop([file_uri(self.picture), file_uri(self.paper)], 300, 300)
        wait_for(lambda: self.loads(), what="the import")
        p.park_mouse()
        p.wait_notice(self.picture, pt.DEFAULT_PAPER, self.area)
        self.assertEqual(self.loads(), [f"[Info]: Loading diffuse texture: {self.picture}"], "the first file only")
        p.key("Return")
        p.wait_painted(self.picture, pt.DEFAULT_PAPER, self.area, what="the first file's picture")

    def test_a_folder_or_what_is_no_file_shows_the_notice_and_keeps_the_picture(self):
        p = self.start(self.picture)
        wait_for(lambda: self.loads(), what="the picture from the command line")
        p.wait_painted(self.picture, pt.DEFAULT_PAPER, self.area)

        folder = os.path.dirname(self.picture)
        self.drop([file_uri(folder)], 400, 300)
        wait_for(lambda: f"[Error]: Failed to load texture: {folder}: " in p.stderr(), what="the folder's error")
        self.assertEqual(self.loads()[-1], f"[Info]: Loading diffuse texture: {folder}", "the menu's own line")
        p.wait_notice(self.picture, pt.DEFAULT_PAPER, self.area)
        p.key("Return")
        p.wait_match(self.picture, pt.DEFAULT_PAPER, self.area, what="the picture kept")

        # A web address, then plain text: nothing to load, and the notice says so.
        for uris, payloads in ((["https://example.org/cat.png"], None), (None, {"text/plain": b"some words"})):
            self.drop(uris, 400, 300, payloads)
            p.wait_notice(self.picture, pt.DEFAULT_PAPER, self.area)
            p.key("Escape")
            p.wait_match(self.picture, pt.DEFAULT_PAPER, self.area, what="the picture kept")
        self.assertEqual(len(self.loads()), 2, "nothing else was loaded")
        self.assertIsNone(p.process.poll())

    def test_a_drop_on_the_empty_canvas_replaces_the_hint(self):
        p = self.start()
        p.park_mouse()
        wait_for(lambda: bright_box(p.screenshot()), what="the hint")
        self.drop([file_uri(self.picture)], 100, 500)
        wait_for(lambda: self.loads(), what="the import")
        p.wait_painted(self.picture, pt.DEFAULT_PAPER, self.area, what="the picture instead of the hint")


if __name__ == "__main__":
    pt.PROGRAM, pt.COMPARE, pt.DEFAULT_PAPER = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
