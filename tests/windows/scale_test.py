"""The Windows program under Wine at 150 % (LogPixels 144 in the prefix's registry) against 100 %:
the manifest makes the program aware of the DPI, so it opens its drawing area 1.5 times as large,
draws its menu bar 1.5 times as tall, and says so in its log; at 100 % nothing changes. The
setting is put back to 96 whatever happens, for the tests that share the prefix.
  scale_test.py PATH/TO/vellumry.exe"""
import os
import subprocess
import sys
import tempfile

import winetest
from frame_probe import StreamProbe, asking_frames
from program_test import client_geometry, rgb_pixels, screenshot

EXE = sys.argv[1]


def set_log_pixels(dpi):
    subprocess.run([winetest.wine_command(), "reg", "add", r"HKCU\Control Panel\Desktop", "/v", "LogPixels", "/t",
                    "REG_DWORD", "/d", str(dpi), "/f"], capture_output=True, check=True, timeout=120)
    # The registry is written when the server has let go of it. Ended rather than waited for: a
    # decoder helper an earlier test's program left behind would keep it forever.
    subprocess.run(["wineserver", "-k"], timeout=120)
    subprocess.run(["wineserver", "-w"], timeout=120)


def bar_height(path):
    """Rows from the top, at the drawing area's right end, down to the empty canvas's black."""
    w, h, p = rgb_pixels(path)
    rows = 0
    while rows < h and p[(rows * w + w - 4) * 3:(rows * w + w - 4) * 3 + 3] != b"\0\0\0":
        rows += 1
    return rows


def run_at(work, dpi):
    set_log_pixels(dpi)
    process = winetest.start(EXE, cwd=work)
    reader = StreamProbe(process.stderr, alive=lambda: process.poll() is None, wake=asking_frames(process))
    try:
        window = winetest.wait_for_window("^Vellumry$", process=process)
        reader.wait_line("[Info]: Loaded default filter texture")
        reader.wait_frames(3)
        geometry = client_geometry(window)
        shot = os.path.join(work, f"{dpi}.png")
        screenshot(geometry, shot)
        return geometry[2:], bar_height(shot), reader.lines[:]
    finally:
        winetest.kill(process)


def main():
    with tempfile.TemporaryDirectory() as work:
        try:
            size, bar, log = run_at(work, 96)
            assert size == (800, 600), size
            assert bar == 27, bar
            assert not any("Interface scale" in line for line in log), log
            size, bar, log = run_at(work, 144)
            assert size == (1200, 900), "drawing area %s" % (size,)
            assert 39 <= bar <= 42, "menu bar %d rows high at 150 %%" % bar
            assert "[Info]: Interface scale: 150 %" in log, log
        finally:
            set_log_pixels(96)
    print("150 %: the drawing area 1200 x 900, the menu bar", bar, "rows high")


if __name__ == "__main__":
    main()
