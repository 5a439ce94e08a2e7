#!/usr/bin/env python3
"""The real program's start-up log: the four GL lines, then the renderer's three, in order.

Usage: startup_log_test.py VELLUMRY   (run under tests/support/with-xvfb.sh)
"""
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

PROGRAM = sys.argv[1]
EXPECTED_PREFIXES = [
    "[Info]: OpenGL version: ",
    "[Info]: OpenGL vendor: ",
    "[Info]: OpenGL renderer: ",
    "[Info]: Shader model: ",
]
RENDERER_LINES = [
    "[Info]: Compiled shaders",
    "[Info]: Created shader program",
    "[Info]: Loaded default filter texture",
]


class StartupLog(unittest.TestCase):
    def test_gl_lines_then_renderer_lines(self):
        with tempfile.TemporaryDirectory() as folder:
            stderr_path = os.path.join(folder, "stderr.txt")
            with open(stderr_path, "wb") as stderr_file:
                process = subprocess.Popen([PROGRAM], cwd=folder, stdout=subprocess.DEVNULL, stderr=stderr_file)
                try:
                    deadline = time.monotonic() + 30
                    text = ""
                    while time.monotonic() < deadline and process.poll() is None:
                        with open(stderr_path, "rb") as f:
                            text = f.read().decode("utf-8", "replace")
                        if text.count("\n") >= 7:
                            break
                        time.sleep(0.05)
                    self.assertIsNone(process.poll(), f"the program ended during start-up:\n{text}")
                    time.sleep(0.5)  # some frames: the draw must not add lines
                    # SDL turns SIGTERM into SDL_QUIT: an orderly end that logs nothing more.
                    process.send_signal(signal.SIGTERM)
                    self.assertEqual(process.wait(timeout=20), 0)
                finally:
                    if process.poll() is None:
                        process.kill()
                        process.wait()
            with open(stderr_path, "rb") as f:
                lines = f.read().decode("utf-8", "replace").split("\n")

        self.assertEqual(lines[-1], "", "the log ends with a line feed")
        lines = lines[:-1]
        self.assertEqual(len(lines), 7, "\n".join(lines))
        for line, prefix in zip(lines[:4], EXPECTED_PREFIXES):
            self.assertTrue(line.startswith(prefix), f"{line!r} should start with {prefix!r}")
        self.assertEqual(lines[4:], RENDERER_LINES)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
