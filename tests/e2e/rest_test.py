#!/usr/bin/env python3
"""The frame loop at rest in the whole program on a virtual display: with a picture shown and
nothing happening it presents no frame for a second and uses next to no CPU; a resize, a drop, a
decode that finishes and an export's progress still reach the screen without anything else to
wake it (nothing here asks the program for frames: the keys are pressed without waiting on
frames, and the waits are on what the frame probe tells).
Usage: rest_test.py VELLUMRY COMPARE_WINDOW PAPER   (under tests/support/with-xvfb.sh; Debian's
python3, for python3-xlib)"""
import os
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import program_test as pt  # noqa: E402
from desktop import wait_for, xdotool  # noqa: E402
from desktop_program import ProgramTestCase  # noqa: E402
from xdnd import DragSource, file_uri  # noqa: E402

# A generous bound for a second at rest: a loop that draws uses a whole core.
IDLE_CPU_SECONDS = 0.05


def cpu_seconds(pid):
    """User and system time the process has used, from /proc/<pid>/stat."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


class Rest(ProgramTestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        cls.picture = os.path.join(cls.files.name, "picture.png")
        pt.write_png(cls.picture, *pt.PICTURE_SIZE, pt.test_picture)
        cls.source = DragSource()

    @classmethod
    def tearDownClass(cls):
        cls.source.close()
        cls.files.cleanup()

    def test_at_rest_no_frames_and_next_to_no_cpu(self):
        p = self.start(self.picture)
        p.wait_picture(*pt.PICTURE_SIZE)
        rested = p.probe.wait_rest()
        used = cpu_seconds(p.process.pid)
        time.sleep(1.0)
        self.assertEqual(p.last().number, rested.number, "no frame in a second with nothing happening")
        self.assertLess(cpu_seconds(p.process.pid) - used, IDLE_CPU_SECONDS)

    def test_a_resize_a_drop_a_decode_and_an_export_still_show(self):
        p = self.start()
        p.probe.wait_rest()

        xdotool("windowsize", p.window, "900", "650")
        wait_for(lambda: p.last().window == (900, 650), what="a frame at the new size")
        p.probe.wait_rest()

        # The drop wakes the loop; the decode's answer is then asked for until it comes.
        ox, oy = p.origin()
        answer = self.source.drop_uris([file_uri(self.picture)], ox + 450, oy + 325)
        self.assertTrue(answer.accepted and answer.finished, vars(answer))
        p.wait_picture(*pt.PICTURE_SIZE)
        p.probe.wait_rest()

        # Ctrl+S wakes it; the export's progress and its confirmation then come on their own.
        exported = os.path.join(self.folder.name, "painted.png")
        p.answer("choose " + exported)
        xdotool("windowfocus", "--sync", p.window)
        xdotool("keydown", "ctrl+s")
        p.probe.wait_line("[Info]: Exporting picture: " + exported)
        xdotool("keyup", "ctrl+s")
        wait_for(lambda: any(f.saved for f in p.frames()), what="the confirmation")
        self.assertTrue(any(f.export is not None for f in p.frames()), "the strip showed")
        # It fades, and the program rests again.
        p.probe.wait_rest()
        self.assertFalse(p.last().saved)


if __name__ == "__main__":
    pt.PROGRAM, pt.COMPARE, pt.DEFAULT_PAPER = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
