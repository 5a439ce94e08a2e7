#!/usr/bin/env python3
"""`vellumry --paint`, the real binary with DISPLAY and WAYLAND_DISPLAY unset: several pictures
painted into a folder as PNG and JPEG (against the brush filter computed on the CPU), the same
files as the window's own export from a window of the --view size (the window driven on the
virtual display, its files compared pixel for pixel), files that exist left alone without
--overwrite, a damaged picture among good ones, SIGTERM in the middle of a batch, and the
mistakes that are usage errors.

Usage: paint_test.py VELLUMRY COMPARE_WINDOW WM_CLOSE PAPER   (under tests/support/with-xvfb.sh,
which the window's export needs; the batch itself runs without a display)
"""
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))
import program_test as base  # noqa: E402
import export_test  # noqa: E402
from desktop import wait_for, xdotool  # noqa: E402

HARBOUR = (1200, 900)  # drawn at 800 x 600 in the first window: the reach is not its own size


def harbour_pixel(x, y):
    return ((x * 7 + y) % 256, (x * y // 97) % 256, 255 - (y * 255 // 899))


def no_display():
    env = dict(os.environ)
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    return env


def paint(*args, cwd=None, program=None, timeout=600):
    """Runs the batch without a display: (status, stderr)."""
    done = subprocess.run([program or base.PROGRAM, "--paint", *args], capture_output=True, text=True, cwd=cwd,
                          env=no_display(), timeout=timeout)
    assert done.stdout == "", done.stdout
    return done.returncode, done.stderr


def same_pixels(a, b):
    """The count of pixels that differ, decoded by ImageMagick (a decoder of its own)."""
    out = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True, timeout=120)
    return int(float(out.stderr.split()[0]))


def helpers_of(helper):
    """The processes running that decoder helper (by its path, so only this test's)."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if os.readlink(f"/proc/{pid}/exe") == helper:
                found.append(int(pid))
        except OSError:
            pass
    return found


class Paint(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        folder = cls.files.name
        cls.coffee = os.path.join(folder, "coffee.png")
        base.write_png(cls.coffee, *base.PICTURE_SIZE, base.test_picture)
        cls.harbour = os.path.join(folder, "harbour.png")
        base.write_png(cls.harbour, *HARBOUR, harbour_pixel)
        cls.street = os.path.join(folder, "street.jpg")
        subprocess.run(["convert", cls.harbour, "-quality", "90", cls.street], check=True, timeout=120)
        cls.broken = os.path.join(folder, "broken.jpg")
        with open(cls.street, "rb") as f:
            whole = f.read()
        with open(cls.broken, "wb") as f:
            f.write(whole[:600] + bytes(range(256)) * 8)

    @classmethod
    def tearDownClass(cls):
        cls.files.cleanup()

    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.out = os.path.join(self.folder.name, "out")
        os.mkdir(self.out)

    def tearDown(self):
        self.folder.cleanup()

    def assert_matches_reference(self, path, parameters=(1.0, base.THIRD, base.THIRD)):
        """coffee.png painted at its own size (800 x 400 in an 800 x 600 view) against the CPU filter."""
        result = base.run(base.COMPARE, path, self.coffee, base.DEFAULT_PAPER, "0", "0", "800", "400",
                          *[repr(v) for v in parameters], "0", timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("inside=0 outside=0 ", result.stdout)

    def test_several_pictures_into_a_folder_as_png_and_as_jpeg(self):
        status, err = paint("--output", self.out, self.coffee, self.harbour, self.street)
        self.assertEqual(status, 0, err)
        lines = err.splitlines()
        self.assertEqual(len(lines), 4, err)
        for name, size in (("coffee", base.PICTURE_SIZE), ("harbour", HARBOUR), ("street", HARBOUR)):
            source = name + (".jpg" if name == "street" else ".png")
            line = [l for l in lines if l.startswith(f"painted {source} -> {name}-painted.png ")]
            self.assertEqual(len(line), 1, err)
            self.assertRegex(line[0], rf"\({size[0]} x {size[1]}, \d+\.\d s\)$")
            self.assertEqual(export_test.image_size(os.path.join(self.out, f"{name}-painted.png")), size)
        self.assertRegex(lines[-1], r"^painted 3 of 3 pictures in \d+\.\d s$")
        self.assertEqual(sorted(os.listdir(self.out)),
                         ["coffee-painted.png", "harbour-painted.png", "street-painted.png"])
        self.assert_matches_reference(os.path.join(self.out, "coffee-painted.png"))

        status, err = paint("--output", self.out, "--format", "jpg", "--quality", "95", "--jobs", "1", self.coffee,
                            self.street)
        self.assertEqual(status, 0, err)
        self.assertIn("painted coffee.png -> coffee-painted.jpg (800 x 400, ", err)
        jpeg = os.path.join(self.out, "coffee-painted.jpg")
        self.assertGreater(export_test.psnr(jpeg, os.path.join(self.out, "coffee-painted.png")), 35.0)
        self.assertEqual(export_test.image_size(os.path.join(self.out, "street-painted.jpg")), HARBOUR)

        # The look's parameters, given one by one, are what the brush paints with; beside the
        # picture by default, -o for one file.
        status, err = paint("--opacity", "0.5", "--stroke=0.8", "--intensity", "0.125", "-o", "tuned.png", self.coffee,
                            cwd=self.out)
        self.assertEqual(status, 0, err)
        self.assert_matches_reference(os.path.join(self.out, "tuned.png"), (0.5, 0.8, 0.125))
        status, err = paint(os.path.basename(self.coffee), cwd=self.files.name, program=os.path.abspath(base.PROGRAM))
        self.assertEqual(status, 0, err)
        beside = os.path.join(self.files.name, "coffee-painted.png")
        self.assertEqual(same_pixels(beside, os.path.join(self.out, "coffee-painted.png")), 0)
        os.remove(beside)

    def test_looks_by_name_and_by_file_with_options_over_them(self):
        config = os.path.join(self.folder.name, "config")
        looks = os.path.join(config, "vellumry", "looks")
        os.makedirs(looks)
        with open(os.path.join(looks, "fog.json"), "w") as f:
            f.write('{"vellumry-look": 1, "name": "Morning fog", "opacity": 0.75, "stroke": 0.5, "intensity": 1.5}')
        gone = os.path.join(self.folder.name, "gone paper.jpg")
        lone = os.path.join(self.folder.name, "lone.json")
        with open(lone, "w") as f:
            f.write('{"vellumry-look": 1, "opacity": 0.25, "stroke": 0.125, "intensity": 0.5, "paper": "%s"}' % gone)
        env_config = dict(no_display(), XDG_CONFIG_HOME=config)

        def paint_with(*args):
            done = subprocess.run([base.PROGRAM, "--paint", *args], capture_output=True, text=True, env=env_config,
                                  timeout=600)
            return done.returncode, done.stderr

        for look, target, values in (("Watercolour Paper", "wash.png", (0.7, 0.5, 0.9)),
                                     ("Morning fog", "fog.png", (0.75, 0.5, 1.0)),
                                     (lone, "lone.png", (0.25, 0.125, 0.5))):
            with self.subTest(look=look):
                status, err = paint_with("--look", look, "-o", os.path.join(self.out, target), self.coffee)
                self.assertEqual(status, 0, err)
                self.assert_matches_reference(os.path.join(self.out, target), values)
        # A user's look's clamped value, a look file's missing paper: a note each, and the painting.
        status, err = paint_with("--look", "Morning fog", "-o", os.path.join(self.out, "again.png"), self.coffee)
        self.assertTrue(err.startswith("vellumry: note: "), err)
        status, err = paint_with("--look", lone, "-o", os.path.join(self.out, "again.png"), "--overwrite", self.coffee)
        self.assertIn("vellumry: note: the look's paper " + gone + " is not there; painting on the built-in paper\n",
                      err)
        # Options over a look.
        status, err = paint_with("--look", "Watercolour Paper", "--stroke", "0.25", "-o", os.path.join(self.out, "over.png"),
                                 self.coffee)
        self.assertEqual(status, 0, err)
        self.assert_matches_reference(os.path.join(self.out, "over.png"), (0.7, 0.25, 0.9))

    def test_the_same_pixels_as_the_windows_export_from_a_window_of_the_view_size(self):
        run = os.path.join(self.folder.name, "run")
        os.mkdir(run)
        window = export_test.ExportingProgram(run, [self.harbour])
        try:
            window.wait_picture(*HARBOUR)
            exported = {}
            for w, h, ext in ((800, 600, "png"), (1000, 500, "png"), (1000, 500, "jpg")):
                if window.size() != (w, h):
                    xdotool("windowsize", window.window, w, h)
                    wait_for(lambda: window.last().window == (w, h), what=f"a frame at {w} x {h}")
                target = os.path.join(self.out, f"window-{w}x{h}.{ext}")
                window.export_by_keyboard(target)
                wait_for(lambda: f"[Info]: Exported picture: {target}\n" in window.stderr(), timeout=300,
                         what=target)
                exported[(w, h, ext)] = target
        finally:
            window.close()

        for (w, h, ext), target in exported.items():
            painted = os.path.join(self.out, f"painted-{w}x{h}.{ext}")
            status, err = paint("--view", f"{w}x{h}", "-o", painted, self.harbour)
            self.assertEqual(status, 0, err)
            self.assertEqual(same_pixels(painted, target), 0, f"{w} x {h} {ext}")
        # The view matters: the brush's reach differs between the two windows.
        self.assertGreater(same_pixels(exported[(800, 600, "png")], exported[(1000, 500, "png")]), 1000)

    def test_a_file_that_exists_is_left_alone_without_overwrite(self):
        kept = os.path.join(self.out, "coffee-painted.png")
        with open(kept, "wb") as f:
            f.write(b"mine")
        status, err = paint("--output", self.out, self.coffee, self.harbour)
        self.assertEqual(status, 1, err)
        self.assertIn("skipped coffee.png: coffee-painted.png exists (--overwrite replaces it)\n", err)
        self.assertIn("painted harbour.png -> harbour-painted.png ", err)
        self.assertRegex(err.splitlines()[-1], r"^painted 1 of 2 pictures in \d+\.\d s \(1 skipped\)$")
        with open(kept, "rb") as f:
            self.assertEqual(f.read(), b"mine")

        status, err = paint("--output", self.out, "--overwrite", self.coffee)
        self.assertEqual(status, 0, err)
        self.assert_matches_reference(kept)

        # Two pictures of one batch named alike: the second is not written over the first.
        twin = os.path.join(self.folder.name, "coffee.jpg")
        subprocess.run(["convert", self.harbour, twin], check=True, timeout=120)
        status, err = paint("--output", self.out, "--overwrite", "--jobs", "1", self.coffee, twin)
        self.assertEqual(status, 1, err)
        self.assertIn("failed coffee.jpg: another picture of the batch is painted to coffee-painted.png\n", err)
        self.assert_matches_reference(kept)

    def test_a_damaged_picture_among_good_ones(self):
        missing = os.path.join(self.folder.name, "gone.png")
        status, err = paint("--output", self.out, self.coffee, self.broken, missing, self.street)
        self.assertEqual(status, 1, err)
        self.assertIn("failed broken.jpg: could not be loaded: the file is damaged or cut short (JPEG", err)
        self.assertIn("failed gone.png: could not be loaded: No such file or directory\n", err)
        self.assertRegex(err.splitlines()[-1], r"^painted 2 of 4 pictures in \d+\.\d s \(2 failed\)$")
        self.assertNotIn("[Error]", err, "the program's own log stays off")
        self.assertEqual(sorted(os.listdir(self.out)), ["coffee-painted.png", "street-painted.png"])
        self.assert_matches_reference(os.path.join(self.out, "coffee-painted.png"))

        # --verbose adds the program's log.
        status, err = paint("--verbose", "--output", self.out, "--overwrite", self.broken)
        self.assertEqual(status, 1)
        self.assertIn("[Info]: Compiled shaders\n", err)

    def test_sigterm_in_the_middle_leaves_no_partial_file_and_no_helper(self):
        # A copy of the program and its helper, so that this test's helpers are told apart.
        bin_dir = os.path.join(self.folder.name, "bin")
        os.mkdir(bin_dir)
        program = shutil.copy2(base.PROGRAM, bin_dir)
        helper = shutil.copy2(os.path.join(os.path.dirname(base.PROGRAM), "vellumry-decode"), bin_dir)
        noise = os.path.join(self.folder.name, "noise.jpg")
        subprocess.run(["convert", "-size", "3000x2000", "xc:gray", "+noise", "Random", noise], check=True,
                       timeout=300)
        pictures = []
        for i in range(12):
            pictures.append(os.path.join(self.folder.name, f"noise{i:02}.jpg"))
            shutil.copy(noise, pictures[-1])
        batch = subprocess.Popen([program, "--paint", "--jobs", "3", "--output", self.out, *pictures],
                                 stderr=subprocess.PIPE, stdout=subprocess.DEVNULL, text=True, env=no_display())
        lines = []
        try:
            # Once a picture is written and while helpers decode the next ones.
            while not any(l.startswith("painted ") for l in lines):
                line = batch.stderr.readline()
                self.assertTrue(line, "the batch ended before any picture was painted:\n" + "".join(lines))
                lines.append(line)
            wait_for(lambda: helpers_of(helper) or batch.poll() is not None, what="a helper decoding")
            batch.send_signal(signal.SIGTERM)
            rest = batch.stderr.read()
            status = batch.wait(timeout=120)
        finally:
            if batch.poll() is None:
                batch.kill()
                batch.wait()
            batch.stderr.close()
        self.assertEqual(status, -signal.SIGTERM, "".join(lines) + rest)
        self.assertRegex(rest.splitlines()[-1], r"^stopped: \d+ of 12 pictures in \d+\.\d s")
        self.assertEqual(helpers_of(helper), [], "no helper is left")
        written = sorted(os.listdir(self.out))
        self.assertLess(len(written), 12)
        for name in written:
            self.assertRegex(name, r"^noise\d\d-painted\.png$", "no temporary file")
            with open(os.path.join(self.out, name), "rb") as f:
                self.assertTrue(f.read().endswith(b"IEND\xaeB`\x82"), f"{name} is whole")
            self.assertIn(f"-> {name} (3000 x 2000, ", "".join(lines) + rest)

    def test_usage_errors(self):
        for args, first in (
            ([], "vellumry: --paint needs at least one picture"),
            (["--view", "800", self.coffee], "vellumry: --view takes WIDTHxHEIGHT"),
            (["-o", "x.tiff", self.coffee], "vellumry: -o takes a file ending in .png, .jpg or .jpeg: x.tiff"),
            (["--look", "Nonesuch", self.coffee], "vellumry: the look Nonesuch cannot be used: "),
            (["--output", os.path.join(self.out, "nowhere"), self.coffee], "vellumry: the output folder does not"),
        ):
            with self.subTest(args=args):
                status, err = paint(*args)
                self.assertEqual(status, 2, err)
                self.assertTrue(err.startswith(first), err)
        self.assertEqual(os.listdir(self.out), [])


if __name__ == "__main__":
    base.PROGRAM, base.COMPARE, base.WM_CLOSE, base.DEFAULT_PAPER = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
