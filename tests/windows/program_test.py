"""The whole Windows program under Wine: the start-up log, Ctrl+O through the real shell
dialog to a picture on screen, and File > Exit with status 0. When the Linux build is given
too, the same import there (through its own chooser) must give the same picture on screen.
  program_test.py PATH/TO/vellumry.exe [PATH/TO/linux/vellumry]"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import winetest
from desktop import wait_for
from frame_probe import StreamProbe, asking_frames

EXE = sys.argv[1]
# The Linux build counts only when it is complete (the program and its decoder helper).
LINUX = sys.argv[2] if len(sys.argv) > 2 and all(
    os.access(os.path.join(os.path.dirname(sys.argv[2]), name), os.X_OK)
    for name in (os.path.basename(sys.argv[2]), "vellumry-decode")) else None

START_LINES = [
    r"\[Info\]: OpenGL version: \S.*",
    r"\[Info\]: OpenGL vendor: \S.*",
    r"\[Info\]: OpenGL renderer: \S.*",
    r"\[Info\]: Shader model: \S.*",
    r"\[Info\]: Compiled shaders",
    r"\[Info\]: Created shader program",
    r"\[Info\]: Loaded default filter texture",
]


def read_log(process):
    """The program's log lines and frames as they come (its frame probe is on)."""
    return StreamProbe(process.stderr, alive=lambda: process.poll() is None, wake=asking_frames(process))


# Wine hands X input on to the program in its own time, which the program's frames do not tell
# (a key held over a few frames can still go unseen), so input under Wine keeps its pauses; what
# the program draws is waited for through its frame probe.
def press(window, reader, keys):
    """Held for a while: the program reads the keyboard's state once per frame (a shell dialog
    that the keys open holds the frames, so they are not counted here)."""
    winetest.xdotool("windowfocus", "--sync", window)
    time.sleep(0.3)
    winetest.xdotool("keydown", keys, check=True)
    time.sleep(0.4)
    winetest.xdotool("keyup", keys, check=True)


def wait_picture_drawn(reader):
    """Until a frame has drawn the picture that the frame before found in its slot."""
    wait_for(lambda: reader.last().picture != (0, 0), what="the picture in its slot")
    reader.wait_frames(2)


def client_geometry(window):
    """Absolute x, y, width, height of a window's drawing area: Wine draws an unmanaged
    window's frame itself and puts the OpenGL client area in a child X window."""
    tree = subprocess.run(["xwininfo", "-tree", "-id", window], stdout=subprocess.PIPE, text=True,
                          timeout=30).stdout
    child = re.search(r"^\s+0x[0-9a-f]+ .*\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)\s*$", tree, re.M)
    if child:
        w, h, x, y = (int(v) for v in child.groups())
        return x, y, w, h
    info = subprocess.run(["xwininfo", "-id", window], stdout=subprocess.PIPE, text=True, timeout=30).stdout
    get = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
    return get("Absolute upper-left X"), get("Absolute upper-left Y"), get("Width"), get("Height")


def screenshot(geometry, path):
    x, y, w, h = geometry
    subprocess.run(["import", "-window", "root", "-crop", "%dx%d+%d+%d" % (w, h, x, y), "+repage", path],
                   check=True, timeout=60)


def rgb_pixels(path):
    """Width, height and the raw RGB bytes of an image file, read through ImageMagick."""
    size = subprocess.run(["identify", "-format", "%w %h", path], stdout=subprocess.PIPE, text=True,
                          check=True, timeout=60).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], stdout=subprocess.PIPE, check=True,
                          timeout=60).stdout
    return int(size[0]), int(size[1]), data


def mean_difference(a, b, region):
    """Mean absolute channel difference of two RGB images over region (x0, y0, x1, y1)."""
    wa, _, pa = a
    wb, _, pb = b
    x0, y0, x1, y1 = region
    total = count = 0
    for y in range(y0, y1, 2):
        for x in range(x0, x1, 2):
            i, j = (y * wa + x) * 3, (y * wb + x) * 3
            total += abs(pa[i] - pb[j]) + abs(pa[i + 1] - pb[j + 1]) + abs(pa[i + 2] - pb[j + 2])
            count += 3
    return total / count


def mean_colour(image, region):
    w, _, p = image
    x0, y0, x1, y1 = region
    sums = [0, 0, 0]
    n = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            i = (y * w + x) * 3
            for c in range(3):
                sums[c] += p[i + c]
            n += 1
    return [s / n for s in sums]


def import_picture(process, reader, window, dialog_title, typed, logged_path, first=None):
    press(window, reader, "ctrl+o")
    dialog = winetest.wait_for_window(dialog_title, process=process)
    winetest.type_into(dialog, typed, first=first, key=None)
    # Return, again if the chooser is still there: a chooser may take the first one for its
    # completion list.
    line = "[Info]: Loading diffuse texture: " + logged_path
    for attempt in range(3):
        time.sleep(0.5)
        winetest.xdotool("windowfocus", "--sync", dialog)
        winetest.xdotool("key", "Return", check=True)
        try:
            reader.wait_line(line, timeout=20.0)
            break
        except AssertionError:
            if not winetest.xdotool("search", "--onlyvisible", "--name", dialog_title).split():
                raise
    reader.wait_line(line)
    winetest.wait_for_no_window(dialog_title)
    wait_picture_drawn(reader)


def run_windows(work, picture):
    process = winetest.start(EXE, cwd=work)
    reader = read_log(process)
    try:
        window = winetest.wait_for_window("^Vellumry$", process=process)
        reader.wait_line("[Info]: Loaded default filter texture")
        first = reader.lines[:len(START_LINES)]
        for pattern, line in zip(START_LINES, first):
            assert re.fullmatch(pattern, line), "start-up log %s, expected %s" % (first, START_LINES)
        geometry = client_geometry(window)
        assert geometry[2:] == (800, 600), "drawing area %s" % (geometry,)
        reader.wait_frames(2)
        screenshot(geometry, os.path.join(work, "before.png"))

        path = winetest.windows_path(picture)
        import_picture(process, reader, window, "^Open$", path, path)
        screenshot(geometry, os.path.join(work, "windows.png"))
        errors = [line for line in reader.lines if line.startswith("[Error]")]
        assert not errors, errors

        # File > Exit: the menu bar's first item, then the menu's last entry.
        x, y, _, _ = geometry
        winetest.xdotool("mousemove", str(x + 20), str(y + 12), check=True)
        winetest.xdotool("click", "1", check=True)
        time.sleep(0.5)  # Wine's input, as above
        reader.wait_frames(2)
        screenshot(geometry, os.path.join(work, "menu.png"))
        exit_y = find_menu_entry(os.path.join(work, "menu.png"))
        winetest.xdotool("mousemove", str(x + 40), str(y + exit_y), check=True)
        winetest.xdotool("click", "1", check=True)
        _, _ = winetest.finish(process)
        reader.thread.join(60)
        assert process.returncode == 0, "exit status %s" % process.returncode
    finally:
        winetest.kill(process)


def find_menu_entry(path):
    """The y of the last text row in the open File menu (its "Exit"), from a screenshot: the
    lowest row below the menu bar with light text pixels at the menu's left edge (left of
    where the Options window opens)."""
    w, h, p = rgb_pixels(path)
    last = None
    for y in range(30, min(h, 200)):
        row = [min(p[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(8, 50)]
        if max(row) > 200:
            last = y
    assert last is not None, "no File menu seen"
    return last - 6


def run_linux(work, picture):
    """The Linux build, same picture, through its own chooser (zenity without a portal)."""
    env = dict(os.environ, VELLUMRY_FRAME_PROBE="1")
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    # Without the settings the user's own runs kept: the window as a first start opens it.
    process = subprocess.Popen([LINUX, "--no-settings"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=work, env=env)
    reader = read_log(process)
    try:
        window = winetest.wait_for_window("^Vellumry$", process=process)
        reader.wait_line("[Info]: Loaded default filter texture")
        geometry = client_geometry(window)
        # The same file under a plain name: the chooser's own completion fights slow typing.
        plain = os.path.join(work, "reference.png")
        shutil.copyfile(picture, plain)
        # Ctrl+L opens the chooser's location field (typing "/" would too, eating a key).
        import_picture(process, reader, window, "^Open$", plain, plain, first="ctrl+l")
        screenshot(geometry, os.path.join(work, "linux.png"))
    finally:
        winetest.kill(process)


def main():
    work = tempfile.mkdtemp(prefix="vellumry program ")
    folder = os.path.join(work, "pictures \u00e9t\u00e9")
    os.mkdir(folder)
    picture = os.path.join(folder, "picture.png")
    # Blue to red from left to right, a yellow disc in the middle: 320 x 240, fitted to 800 x 600.
    winetest.make_test_picture(picture)

    run_windows(work, picture)
    before = rgb_pixels(os.path.join(work, "before.png"))
    after = rgb_pixels(os.path.join(work, "windows.png"))
    # Below the centre the window shows the yellow disc, painted on the paper; it was black (the
    # empty canvas's hint runs across the centre itself).
    centre = (380, 330, 420, 370)
    r, g, b = mean_colour(after, centre)
    assert r > 120 and g > 120 and b < 90, "centre after import %s" % ([r, g, b],)
    # Before the import the drawn area was black, but for the hint's one line across its middle.
    above_hint = (380, 220, 420, 250)
    assert max(mean_colour(before, above_hint)) < 10, "before import %s" % (mean_colour(before, above_hint),)
    # Blue at the left, red at the right (below the menu bar, clear of the Options window).
    left = mean_colour(after, (20, 400, 60, 440))
    right = mean_colour(after, (740, 500, 780, 540))
    assert left[2] > left[0] + 40 and right[0] > right[2] + 40, "edges %s %s" % (left, right)

    if LINUX:
        run_linux(work, picture)
        linux = rgb_pixels(os.path.join(work, "linux.png"))
        difference = mean_difference(after, linux, (0, 0, 800, 600))
        print("mean difference to the Linux build: %.2f / 255" % difference)
        assert difference < 2.0, "the Windows build draws differently from the Linux build (%.2f)" % difference
    else:
        print("no Linux build given: not compared")
    shutil.rmtree(work)
    print("ok    the program under Wine")


if __name__ == "__main__":
    winetest.run_main(main, "vellumry program ")
