"""Drops on the Windows program under Wine: Wine turns an XDND drop on its window into the
WM_DROPFILES that SDL reads. A picture named on the command line (in a non-ASCII folder) first;
then, with the Textures strip shown, a paper dropped on its paper preview and a picture dropped
on the canvas, each time with the pointer last seen over the other place, as a drag holds the
pointer and the window sees no motion.
  drop_test.py PATH/TO/vellumry.exe      (Debian's python3: it needs python3-xlib)"""
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import winetest  # noqa: E402
from xdnd import DragSource, file_uri  # noqa: E402

EXE = sys.argv[1]
MENU_BAR_HEIGHT = 27
VIEW_MENU, SHOW_TEXTURES = (123, 13), (153, 70)
# The strip's paper preview: 150 pixels square, 8 from the right edge, 8 below the menu bar.
PAPER_PREVIEW = (800 - 8 - 75, MENU_BAR_HEIGHT + 8 + 75)


def main():
    work = tempfile.mkdtemp(prefix="vellumry drop ")
    folder = os.path.join(work, "Bilder \u00e9t\u00e9")
    os.mkdir(folder)
    first, second, paper = (os.path.join(folder, name) for name in ("first.png", "second \u65e5.png", "paper.png"))
    for path, pattern in ((first, "gradient:red-blue"), (second, "gradient:green-yellow"), (paper, "plasma:")):
        subprocess.run(["convert", "-size", "320x240", pattern, path], check=True, timeout=60)

    process = winetest.start(EXE, winetest.windows_path(first), cwd=work)
    sys.argv = sys.argv[:2]
    import program_test  # the Windows program test's window and log helpers
    reader = program_test.read_log(process)
    source = DragSource()
    try:
        window = winetest.wait_for_window("^Vellumry$", process=process)
        reader.wait_line("[Info]: Loading diffuse texture: " + winetest.windows_path(first))
        x, y, _, _ = program_test.client_geometry(window)

        def to(point):
            winetest.xdotool("mousemove", str(x + point[0]), str(y + point[1]), check=True)
            time.sleep(0.5)  # Wine hands the pointer on in its own time (program_test.press)
            reader.wait_frames(2)

        to(VIEW_MENU)
        winetest.xdotool("click", "1", check=True)
        time.sleep(0.5)
        reader.wait_frames(2)
        to(SHOW_TEXTURES)
        winetest.xdotool("click", "1", check=True)
        time.sleep(1.0)
        reader.wait_frames(2)

        to((400, 450))
        answer = source.drop_uris([file_uri(paper)], x + PAPER_PREVIEW[0], y + PAPER_PREVIEW[1])
        assert answer.accepted and answer.finished, vars(answer)
        reader.wait_line("[Info]: Loading filter texture: " + winetest.windows_path(paper))

        to(PAPER_PREVIEW)
        answer = source.drop_uris([file_uri(second)], x + 400, y + 450)
        assert answer.accepted and answer.finished, vars(answer)
        reader.wait_line("[Info]: Loading diffuse texture: " + winetest.windows_path(second))
        loads = [line for line in reader.lines if line.startswith("[Info]: Loading")]
        assert len(loads) == 3, loads
        errors = [line for line in reader.lines if line.startswith("[Error]")]
        assert not errors, errors
    finally:
        source.close()
        # Not winetest.kill: its communicate() waits for the pipes, which the Wine processes
        # this start may have launched (wineserver, the desktop) keep open.
        process.kill()
        process.wait(timeout=30)
    subprocess.run(["rm", "-rf", work])
    print("ok    drops under Wine: the paper on its preview, the picture on the canvas")


if __name__ == "__main__":
    main()
