#!/usr/bin/env python3
"""The real program on a virtual display: the start-up log (the four GL lines, then the
renderer's three), the window, orderly and fatal ends. The program's frame probe
(tests/support/frame_probe.py) says when frames have been drawn; its lines are left out of the
log that is checked.

Usage: program_shell_test.py VELLUMRY WM_CLOSE   (run under tests/support/with-xvfb.sh)
"""
import os
import signal
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import wait_for, xdotool  # noqa: E402
from frame_probe import FrameProbe  # noqa: E402

PROGRAM, WM_CLOSE = sys.argv[1], sys.argv[2]
GL_LINES = ["[Info]: OpenGL version: ", "[Info]: OpenGL vendor: ",
            "[Info]: OpenGL renderer: ", "[Info]: Shader model: "]
RENDERER_LINES = ["[Info]: Compiled shaders", "[Info]: Created shader program",
                  "[Info]: Loaded default filter texture"]


class Program:
    """The program started in a scratch folder (its configuration folder inside it), stderr to a
    file, its frame probe on."""

    def __init__(self, env=None, stderr=None):
        self.folder = tempfile.TemporaryDirectory()
        self.stderr_path = os.path.join(self.folder.name, "stderr.txt")
        self.stderr_file = open(self.stderr_path, "wb")
        # Its standard input a pipe, through which a wait for frames asks for them.
        self.process = subprocess.Popen([PROGRAM], cwd=self.folder.name, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=stderr if stderr is not None else self.stderr_file,
                                        env=dict(env or os.environ, VELLUMRY_FRAME_PROBE="1",
                                                 XDG_CONFIG_HOME=os.path.join(self.folder.name, "config")))

    def _probe(self):
        probe = FrameProbe()
        with open(self.stderr_path, "rb") as f:
            probe.feed(f.read())
        return probe

    def stderr(self):
        """The log: the error stream without the probe's lines."""
        return self._probe().log()

    def last_frame(self):
        return self._probe().last()

    def wait_frames(self, count):
        start = self.last_frame().number
        self.process.stdin.write(b"%d\n" % count)
        self.process.stdin.flush()
        wait_for(lambda: self.last_frame().number >= start + count, what=f"{count} frames after frame {start}")

    def window(self):
        return wait_for(lambda: xdotool("search", "--onlyvisible", "--pid", str(self.process.pid)),
                        what="the program's window").split()[0]

    def wait(self, timeout=120):
        return self.process.wait(timeout=timeout)

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        try:
            self.process.stdin.close()
        except OSError:
            pass  # a request for frames the ended program never read
        self.stderr_file.close()
        self.folder.cleanup()


class ProgramShell(unittest.TestCase):
    def setUp(self):
        self.program = None

    def tearDown(self):
        if self.program:
            self.program.close()

    def test_start_up_log_window_and_orderly_close(self):
        self.program = Program()
        window = self.program.window()
        self.assertEqual(xdotool("getwindowname", window), "Vellumry")
        geometry = xdotool("getwindowgeometry", window)
        self.assertIn("Geometry: 800x600", geometry)
        wait_for(lambda: self.program.stderr().count("\n") >= 7, what="the start-up log")
        self.program.wait_frames(10)  # drawing adds no lines
        log_before_close = self.program.stderr()
        self.assertTrue(log_before_close.endswith("\n"), "every line ends with a line feed")
        lines = log_before_close.splitlines()
        self.assertEqual(len(lines), 7, log_before_close)
        for line, prefix in zip(lines, GL_LINES):
            self.assertTrue(line.startswith(prefix), f"{line!r} should start with {prefix!r}")
            self.assertGreater(len(line), len(prefix), "the GL string is written after the text")
        self.assertEqual(lines[4:], RENDERER_LINES)

        # A window-manager close request posts SDL_QUIT: the loop ends, status 0, no more lines.
        subprocess.run([WM_CLOSE, window], check=True, timeout=60)
        self.assertEqual(self.program.wait(), 0)
        self.assertEqual(self.program.stderr(), log_before_close)
        self.assertEqual(self.program.process.stdout.read(), b"", "the program writes nothing to stdout")

    def test_resizing_needs_no_event_handling(self):
        self.program = Program()
        window = self.program.window()
        xdotool("windowsize", window, "1000", "500")
        wait_for(lambda: "Geometry: 1000x500" in xdotool("getwindowgeometry", window), what="the resize")
        wait_for(lambda: self.program.last_frame().window == (1000, 500), what="a frame at the new size")
        self.assertIsNone(self.program.process.poll(), "the program keeps running after a resize")
        self.program.process.send_signal(signal.SIGTERM)  # SDL turns SIGTERM into SDL_QUIT
        self.assertEqual(self.program.wait(), 0)

    def test_log_into_a_closed_pipe_does_not_end_the_program(self):
        # As with `vellumry 2>&1 | head -c1`: the reader has gone before the first log line.
        reader, writer = os.pipe()
        os.close(reader)
        self.program = Program(stderr=writer)
        os.close(writer)
        window = self.program.window()
        # The close is handled in the frame loop, after the start-up lines were written.
        subprocess.run([WM_CLOSE, window], check=True, timeout=10)
        self.assertEqual(self.program.wait(), 0)

    def test_platform_that_cannot_start_is_fatal(self):
        env = os.environ.copy()
        env["SDL_VIDEODRIVER"] = "no-such-video-driver"
        self.program = Program(env)
        status = self.program.wait()
        self.assertEqual(status, -signal.SIGABRT)
        self.assertEqual(self.program.stderr(), "[Error]: Failed to initialize platform\n")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
