"""Exporting the painted picture from the Windows program under Wine, through the real shell
save dialog driven with xdotool: Ctrl + S opens it in the picture's folder with the suggested
name, which Return accepts; a second export, with the JPEG type chosen and a non-ASCII name
typed, writes a JPEG. Both
files are decoded (ImageMagick) and, when the Linux build is given, compared with the Linux
build's export of the same picture at the same view.
  export_test.py PATH/TO/vellumry.exe [PATH/TO/linux/vellumry]"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

import winetest
from program_test import LINUX, EXE, mean_difference, press, read_log, rgb_pixels, wait_picture_drawn

HERE = os.path.dirname(os.path.abspath(__file__))
FAKE_ZENITY = os.path.join(HERE, "..", "e2e", "fake-zenity")


def save_through_dialog(process, reader, window, typed, written):
    """Ctrl + S, then the shell's save dialog: the suggested name accepted (typed None) or a
    whole path typed over it; waits for the file to be in place."""
    press(window, reader, "ctrl+s")
    dialog = winetest.wait_for_window("^Save$", process=process)
    winetest.xdotool("windowfocus", "--sync", dialog)
    time.sleep(1.5)  # the dialog fills its folder view first; keys sent before that are lost
    if typed is not None:
        # As a user saving a JPEG: the type first (the next one in the list, from the name
        # field), which the dialog follows with the name's extension; then back in the name
        # field, the whole path typed over what it holds. (With the PNG type still chosen, this
        # dialog would add ".png" to a name ending in ".jpg".)
        winetest.xdotool("key", "Tab", check=True)
        time.sleep(0.3)
        winetest.xdotool("key", "Down", check=True)
        time.sleep(0.5)
        winetest.xdotool("key", "shift+Tab", check=True)
        time.sleep(0.3)
        winetest.xdotool("key", "End", check=True)
        winetest.xdotool("key", "shift+Home", check=True)
        time.sleep(0.3)
        winetest.type_text(typed)
    line = "[Info]: Exporting picture: " + written
    for attempt in range(3):
        time.sleep(0.5)
        winetest.xdotool("windowfocus", "--sync", dialog)
        winetest.xdotool("key", "Return", check=True)
        try:
            reader.wait_line(line, timeout=20.0)
            break
        except AssertionError:
            if not winetest.xdotool("search", "--onlyvisible", "--name", "^Save$").split():
                raise
    reader.wait_line(line)
    winetest.wait_for_no_window("^Save$")
    reader.wait_line("[Info]: Exported picture: " + written)


def run_windows(folder, picture):
    process = winetest.start(EXE, winetest.windows_path(picture), cwd=folder)
    reader = read_log(process)
    try:
        window = winetest.wait_for_window("^Vellumry$", process=process)
        reader.wait_line("[Info]: Loading diffuse texture: " + winetest.windows_path(picture))
        wait_picture_drawn(reader)  # so the brush reach is the view's
        suggested = winetest.windows_path(os.path.join(folder, "coffee-painted.png"))
        save_through_dialog(process, reader, window, None, suggested)
        typed = winetest.windows_path(os.path.join(folder, "peinture d\u2019\u00e9t\u00e9.jpg"))
        save_through_dialog(process, reader, window, typed, typed)
        errors = [line for line in reader.lines if line.startswith("[Error]")]
        assert not errors, errors
    finally:
        winetest.kill(process)


def run_linux(folder, picture):
    """The Linux build: the same picture and window, its chooser a stand-in zenity."""
    bin_dir = os.path.join(folder, "bin")
    os.mkdir(bin_dir)
    os.symlink(FAKE_ZENITY, os.path.join(bin_dir, "zenity"))
    answer = os.path.join(folder, "chooser")
    env = dict(os.environ, VELLUMRY_FRAME_PROBE="1", PATH=bin_dir + os.pathsep + os.environ.get("PATH", "/usr/bin:/bin"), FAKE_CHOOSER=answer)
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)
    # Without the settings the user's own runs kept: the window as a first start opens it.
    process = subprocess.Popen([LINUX, "--no-settings", picture], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=folder, env=env)
    reader = read_log(process)
    try:
        window = winetest.wait_for_window("^Vellumry$", process=process)
        reader.wait_line("[Info]: Loading diffuse texture: " + picture)
        wait_picture_drawn(reader)
        target = os.path.join(folder, "linux.png")
        with open(answer, "w") as f:
            f.write("choose " + target + "\n")
        press(window, reader, "ctrl+s")
        reader.wait_line("[Info]: Exported picture: " + target)
    finally:
        winetest.kill(process)
    return target


def main():
    work = tempfile.mkdtemp(prefix="vellumry export ")
    windows_folder = os.path.join(work, "windows")
    os.mkdir(windows_folder)
    picture = os.path.join(windows_folder, "coffee.png")
    # Blue to red from left to right, a yellow disc in the middle: 320 x 240, shown larger than
    # its size in the 800 x 600 window, so the brush reaches as far as the window shows it.
    winetest.make_test_picture(picture)

    run_windows(windows_folder, picture)
    png = rgb_pixels(os.path.join(windows_folder, "coffee-painted.png"))
    jpeg = rgb_pixels(os.path.join(windows_folder, "peinture d\u2019\u00e9t\u00e9.jpg"))
    assert png[:2] == (320, 240) and jpeg[:2] == (320, 240), (png[:2], jpeg[:2])
    difference = mean_difference(png, jpeg, (0, 0, 320, 240))
    print("the JPEG against the PNG: %.2f / 255" % difference)
    assert difference < 3.0, "the JPEG is not the painting (%.2f)" % difference
    assert sorted(os.listdir(windows_folder)) == ["coffee-painted.png", "coffee.png",
                                                  "peinture d\u2019\u00e9t\u00e9.jpg"], os.listdir(windows_folder)

    if LINUX:
        linux_folder = os.path.join(work, "linux")
        os.mkdir(linux_folder)
        linux = rgb_pixels(run_linux(linux_folder, picture))
        difference = mean_difference(png, linux, (0, 0, 320, 240))
        print("mean difference to the Linux build's export: %.2f / 255" % difference)
        assert difference < 2.0, "the Windows build exports differently from the Linux build (%.2f)" % difference
    else:
        print("no Linux build given: not compared")
    shutil.rmtree(work)
    print("ok    exporting under Wine")


if __name__ == "__main__":
    winetest.run_main(main, "vellumry export ")
