"""What the desktop tests add to the end-to-end tests' program driver (tests/e2e/program_test.py,
which starts the program with arguments, or from another place such as an installed tree): the
Textures strip, the Options window and a notice over a picture, and a look at where the bright
pixels of a screenshot are; shared by the desktop's end-to-end tests and the install tests. Put
tests/e2e and tests/support on sys.path, import program_test first and set its PROGRAM, COMPARE
and DEFAULT_PAPER."""
import subprocess
import tempfile
import unittest

import program_test as pt
from desktop import wait_for


class StartedProgram(pt.Program):
    """program_test's Program with what the desktop tests look at: the Textures strip, the
    Options window over a picture, a notice."""

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

    def wait_painted(self, picture, paper, area, what="the filtered picture"):
        """After a picture's import: the pointer parked, the Options window hidden once it has
        come with the picture, then the window exactly the reference."""
        self.park_mouse()
        self.hide_options_once_shown(picture, paper, area)
        self.wait_match(picture, paper, area, what=what)

    def wait_notice(self, picture, paper, area):
        """Waits for a notice over the picture: it dims the whole window, the black bars too
        (which a picture still on its way would not change)."""
        wait_for(lambda: self.compare(picture, paper, area)[2] > 50000, what="the notice")

    def hide_textures(self):
        self.click(*pt.VIEW_MENU)
        self.click(pt.VIEW_MENU[0] + 30, VIEW_ROWS["Show Textures"])
        self.park_mouse()


class ProgramTestCase(unittest.TestCase):
    """Tests that each start the program in a scratch folder of their own (self.folder), which
    is ended and removed after the test."""

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.program = None

    def tearDown(self):
        if self.program:
            self.program.close()
        self.folder.cleanup()

    def start(self, *args, program=None):
        """The program with `args` on its command line (`program`: another executable); one
        started before in the test is ended first."""
        if self.program:
            self.program.close()
        self.program = StartedProgram(self.folder.name, args, program=program)
        return self.program


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
