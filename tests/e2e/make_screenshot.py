#!/usr/bin/env python3
"""Makes the README's screenshot with the program itself: a painted scene imported through the
File menu's shortcut, both tool windows shown, the window captured.

Usage: tests/support/with-xvfb.sh python3 tests/e2e/make_screenshot.py build/vellumry docs/screenshot.png
"""
import math
import os
import subprocess
import sys
import tempfile

import program_test as e2e


def scene(x, y, width=960, height=640):
    """A small landscape at dusk: sky, sun, three rows of hills and a lake."""
    u, v = x / width, y / height

    def hill(base, amplitude, frequency, phase):
        return base + amplitude * math.sin(frequency * u * math.pi * 2 + phase)

    lake_top = 0.82
    sky = (int(250 - 90 * v), int(170 - 120 * v), int(110 + 80 * v))
    colour = sky
    if math.hypot(u - 0.7, v - 0.32) < 0.08:
        colour = (255, 226, 150)
    for base, amplitude, frequency, phase, tone in [(0.52, 0.05, 1.3, 0.4, (120, 90, 140)),
                                                      (0.62, 0.06, 2.1, 1.9, (70, 110, 90)),
                                                      (0.72, 0.04, 3.2, 0.7, (40, 80, 50))]:
        if v > hill(base, amplitude, frequency, phase):
            shade = 1.0 - 0.5 * (v - base)
            colour = tuple(max(0, min(255, int(c * shade))) for c in tone)
    if v > lake_top:
        mirror_v = 2 * lake_top - v
        ripple = 0.85 + 0.15 * math.sin(y * 0.9)
        colour = tuple(int(c * ripple * 0.7) for c in scene(x, int(mirror_v * height), width, height))
    return colour


def main():
    program, output = sys.argv[1], sys.argv[2]
    e2e.PROGRAM = os.path.abspath(program)
    with tempfile.TemporaryDirectory() as folder:
        picture = os.path.join(folder, "dusk.png")
        e2e.write_png(picture, 960, 640, scene)
        p = e2e.Program(folder)
        try:
            p.choose(picture)
            p.wait_picture(960, 640)
            p.click(*e2e.VIEW_MENU)
            p.click(e2e.VIEW_MENU[0], 70)  # "Show Textures", the second item of the View menu
            p.park_mouse()
            p.wait_frames(10)  # the strip settles in its corner within a few frames
            shot = p.screenshot()
            subprocess.run(["convert", shot, os.path.abspath(output)], check=True)
        finally:
            p.close()
    print("Saved", output)


if __name__ == "__main__":
    main()
