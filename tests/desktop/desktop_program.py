"""What the desktop tests add to the end-to-end tests' program driver (tests/e2e/program_test.py):
the program started with arguments, or from another place (an installed tree), and a look at
where the bright pixels of a screenshot are. Import program_test first and set its PROGRAM,
COMPARE and DEFAULT_PAPER."""
import os
import subprocess

import program_test as pt
from desktop import wait_for, xdotool


class StartedProgram(pt.Program):
    """program_test's Program, started with arguments and, if given, another executable; its
    working folder is `folder` (it writes imgui.ini there), its chooser the stand-in zenity."""

    def __init__(self, folder, args=(), program=None, env=None):
        self.folder = folder
        bin_dir = os.path.join(folder, "bin")
        os.makedirs(bin_dir, exist_ok=True)
        link = os.path.join(bin_dir, "zenity")
        if not os.path.lexists(link):
            os.symlink(os.path.join(pt.HERE, "fake-zenity"), link)
        self.answer_path = os.path.join(folder, "chooser")
        environment = dict(env if env is not None else os.environ)
        environment.pop("DBUS_SESSION_BUS_ADDRESS", None)
        environment.pop("XDG_RUNTIME_DIR", None)
        environment["PATH"] = bin_dir + os.pathsep + environment.get("PATH", "/usr/bin:/bin")
        environment["FAKE_CHOOSER"] = self.answer_path
        self.stderr_path = os.path.join(folder, "stderr.txt")
        self.stderr_file = open(self.stderr_path, "wb")
        self.process = subprocess.Popen([program or pt.PROGRAM, *args], cwd=folder, stdout=subprocess.DEVNULL,
                                        stderr=self.stderr_file, env=environment)
        self.window = wait_for(lambda: self._window(), what="the program's window").split()[0]
        wait_for(lambda: "Loaded default filter texture" in self.stderr(), what="the start-up log")
        self.shots = 0

    def _window(self):
        if self.process.poll() is not None:
            raise AssertionError(f"the program ended with status {self.process.returncode}:\n{self.stderr()}")
        return xdotool("search", "--onlyvisible", "--pid", self.process.pid)

    def show_textures(self):
        """View > Show Textures; waits until the strip stands in the top right corner, where its
        paper preview shows the light paper. Returns the paper preview's centre in the window."""
        self.click(*pt.VIEW_MENU)
        self.click(pt.VIEW_MENU[0] + 30, VIEW_ROWS["Show Textures"])
        self.park_mouse()
        width, _ = self.size()
        centre = (width - PAPER_PREVIEW_FROM_RIGHT, PAPER_PREVIEW_MIDDLE_Y)
        wait_for(lambda: min(pixel(rgb_image(self.screenshot()), *centre)) > 150, what="the paper preview")
        return centre

    def hide_options_once_shown(self, picture, paper, area):
        """After a picture's import: waits until the picture is painted with the Options window
        over it (where the library places a new window; the screen differs from the picture
        there only), then hides the window with V. A picture may arrive some frames after its
        log line, and V pressed before it would be undone by its arrival."""
        wait_for(lambda: (lambda r: r[3] is not None and r[3][:2] == (60, 60))(self.compare(picture, paper, area)),
                 what="the picture with the Options window")
        self.key("v")

    def wait_notice(self, picture, paper, area):
        """Waits for a notice over the picture: it dims the whole window, the black bars too
        (which a picture still on its way would not change)."""
        wait_for(lambda: self.compare(picture, paper, area)[2] > 50000, what="the notice")

    def hide_textures(self):
        self.click(*pt.VIEW_MENU)
        self.click(pt.VIEW_MENU[0] + 30, VIEW_ROWS["Show Textures"])
        self.park_mouse()


# The View menu's rows, and where the strip's paper preview stands: the strip is two 150-pixel
# images with the library's 8-pixel padding and spacing, pinned under the 27-pixel menu bar
# against the right edge.
VIEW_ROWS = {"Show Options": 45, "Show Textures": 70}
PAPER_PREVIEW_FROM_RIGHT = 8 + 75
PAPER_PREVIEW_MIDDLE_Y = pt.MENU_BAR_HEIGHT + 8 + 75


def rgb_image(path):
    """(width, height, bytes RGB) of an image file, through ImageMagick."""
    size = subprocess.run(["identify", "-format", "%w %h", path], capture_output=True, text=True, check=True,
                          timeout=60).stdout.split()
    data = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], capture_output=True, check=True,
                          timeout=60).stdout
    return int(size[0]), int(size[1]), data


def pixel(image, x, y):
    w, _, data = image
    i = (y * w + x) * 3
    return tuple(data[i:i + 3])


def bright_box(path, threshold=100, top=pt.MENU_BAR_HEIGHT + 2):
    """The smallest box (left, top, right, bottom; right and bottom exclusive) holding every
    pixel below the menu bar whose channels all exceed threshold, or None."""
    w, h, data = rgb_image(path)
    left = right = bottom = first = None
    for y in range(top, h):
        row = data[y * w * 3:(y + 1) * w * 3]
        xs = [x for x in range(w) if row[3 * x] > threshold and row[3 * x + 1] > threshold and
              row[3 * x + 2] > threshold]
        if xs:
            first = y if first is None else first
            bottom = y + 1
            left = xs[0] if left is None else min(left, xs[0])
            right = xs[-1] + 1 if right is None else max(right, xs[-1] + 1)
    return None if first is None else (left, first, right, bottom)
