"""`vellumry.exe --paint` under Wine: one picture painted with no window shown (a hidden one
holds the GL context), its line on the error stream, exit status 0, the file decoded
(ImageMagick) and, when the Linux build is given, compared with the Linux build's --paint of the
same picture at the same view.
  paint_test.py PATH/TO/vellumry.exe [PATH/TO/linux/vellumry]"""
import os
import re
import shutil
import subprocess
import tempfile

import winetest
from program_test import LINUX, EXE, mean_difference, rgb_pixels


def main():
    work = tempfile.mkdtemp(prefix="vellumry paint ")
    picture = os.path.join(work, "coffee.png")
    winetest.make_test_picture(picture)
    target = os.path.join(work, "peinture d\u2019\u00e9t\u00e9.png")

    process = winetest.start(EXE, "--paint", "--view", "800x600", "-o", winetest.windows_path(target),
                             winetest.windows_path(picture), cwd=work)
    out, err = winetest.finish(process)
    err = err.decode("utf-8", "replace").replace("\r\n", "\n")
    assert process.returncode == 0, (process.returncode, err)
    assert not winetest.xdotool("search", "--onlyvisible", "--name", "^Vellumry$"), "no window is shown"
    assert re.search(r"^painted coffee\.png -> peinture d\u2019\u00e9t\u00e9\.png \(320 x 240, \d+\.\d s\)$", err,
                     re.M), err
    assert re.search(r"^painted 1 of 1 picture in \d+\.\d s$", err, re.M), err
    png = rgb_pixels(target)
    assert png[:2] == (320, 240), png[:2]
    assert sorted(os.listdir(work)) == ["coffee.png", "peinture d\u2019\u00e9t\u00e9.png"], os.listdir(work)

    if LINUX:
        linux_target = os.path.join(work, "linux.png")
        env = dict(os.environ)
        env.pop("DISPLAY", None)
        done = subprocess.run([LINUX, "--paint", "-o", linux_target, picture], capture_output=True, text=True,
                              env=env, timeout=300)
        assert done.returncode == 0, done.stderr
        difference = mean_difference(png, rgb_pixels(linux_target), (0, 0, 320, 240))
        print("mean difference to the Linux build's painting: %.2f / 255" % difference)
        assert difference < 2.0, "the Windows build paints differently from the Linux build (%.2f)" % difference
    else:
        print("no Linux build given: not compared")
    shutil.rmtree(work)
    print("ok    painting without a window under Wine")


if __name__ == "__main__":
    winetest.run_main(main, "vellumry paint ")
