#!/usr/bin/env python3
"""What the program keeps between runs, through the real binary on a virtual display: a restart
looks as it was left (the look, the strip, the window's size and place, the recent picture and
the chooser's folder), a damaged settings file and an unusable configuration folder start with
the defaults, nothing goes into the working folder, and --no-settings keeps nothing.

Usage: settings_test.py VELLUMRY COMPARE_WINDOW WM_CLOSE PAPER   (under tests/support/with-xvfb.sh)
"""
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import program_test as pt  # noqa: E402
from desktop import wait_for, xdotool  # noqa: E402

VIEW_ROW_TEXTURES = 70
COMBO_ITEM_PITCH = 25  # the font's 21 pixels and the item spacing


class KeptBetweenRuns(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.files = tempfile.TemporaryDirectory()
        cls.pictures = os.path.join(cls.files.name, "trip")
        os.makedirs(cls.pictures)
        cls.picture = os.path.join(cls.pictures, "picture.png")
        pt.write_png(cls.picture, *pt.PICTURE_SIZE, pt.test_picture)

    @classmethod
    def tearDownClass(cls):
        cls.files.cleanup()

    def setUp(self):
        self.scratch = tempfile.TemporaryDirectory()
        self.folder = self.scratch.name
        self.config = os.path.join(self.folder, "config", "vellumry")
        self.programs = []

    def tearDown(self):
        for p in self.programs:
            p.close()
        self.scratch.cleanup()

    def start(self, *args, env=None):
        p = pt.Program(self.folder, args, env)
        self.programs.append(p)
        return p

    def close(self, p):
        subprocess.run([pt.WM_CLOSE, p.window], check=True, timeout=60)
        self.assertEqual(p.wait_exit(), 0)

    def settings(self):
        with open(os.path.join(self.config, "settings.json")) as f:
            return json.load(f)

    def picture_shot(self, p):
        """The window's pixels (the painting and the strip over it) as raw RGB."""
        p.park_mouse()
        shot = p.screenshot()
        return subprocess.run(["convert", shot, "-depth", "8", "rgb:-"], capture_output=True, check=True,
                              timeout=120).stdout

    def test_a_restart_looks_as_it_was_left(self):
        p = self.start()
        p.choose(self.picture)
        p.wait_picture(*pt.PICTURE_SIZE)
        # The third built-in look, from the Options window's selector (where a new window goes).
        box = p.wait_different(self.picture, pt.DEFAULT_PAPER, pt.fit(800, 600, *pt.PICTURE_SIZE),
                               what="the Options window")
        p.click(box[0] + pt.SLIDER_LEFT + 20, box[1] + pt.LOOK_ROW)
        p.click(box[0] + pt.SLIDER_LEFT + 20, box[1] + pt.LOOK_ROW + 14 + 8 + COMBO_ITEM_PITCH * 2 + 10)
        wait_for(lambda: "[Info]: Using look: " in p.stderr(), what="a look chosen")
        look = p.stderr().split("[Info]: Using look: ")[1].split("\n")[0]
        self.assertNotEqual(look, "Default")
        p.key("v")
        p.click(*pt.VIEW_MENU)
        p.click(pt.VIEW_MENU[0] + 30, VIEW_ROW_TEXTURES)
        xdotool("windowsize", p.window, 900, 650)
        wait_for(lambda: p.size() == (900, 650), what="the resize")
        xdotool("windowmove", p.window, 40, 30)
        wait_for(lambda: p.origin() == (40, 30), what="the move")
        left = self.picture_shot(p)
        self.close(p)
        kept = self.settings()
        self.assertEqual(kept["look"]["name"], look)
        self.assertEqual(kept["recent"], [self.picture])
        self.assertEqual(kept["folders"]["import"], self.pictures)
        self.assertEqual((kept["options-shown"], kept["textures-shown"]), (False, True))

        # The second run: the same window at the same place with the same painting and strip.
        p = self.start(self.picture)
        wait_for(lambda: "[Info]: Restored settings: " in p.stderr(), what="the settings read")
        self.assertEqual((p.size(), p.origin()), ((900, 650), (40, 30)))
        p.wait_picture(*pt.PICTURE_SIZE)
        p.key("v")  # the picture's import showed the Options window
        wait_for(lambda: self.picture_shot(p) == left, what="the painting as it was left")
        # The chooser opens where the picture was chosen from.
        p.answer("cancel")
        p.key("ctrl+o")
        wait_for(lambda: len(p.chooser_calls()) == 2, what="the chooser")
        self.assertIn(self.pictures, p.chooser_calls()[-1])
        self.close(p)

    def test_a_damaged_file_or_an_unusable_folder_starts_with_the_defaults(self):
        os.makedirs(self.config)
        with open(os.path.join(self.config, "settings.json"), "w") as f:
            f.write('{"vellumry-settings": 1, "window": {"width": 900')
        p = self.start()
        wait_for(lambda: "[Error]: Failed to read settings: " in p.stderr(), what="the damaged file's line")
        self.assertIn(": The file is damaged (not valid JSON)\n", p.stderr())
        self.assertEqual(p.size(), (800, 600))
        self.close(p)

        # A file where the configuration folder should be: nothing can be read or written there.
        config_home = os.path.join(self.folder, "blocked")
        with open(config_home, "w") as f:
            f.write("not a folder")
        p = self.start(env={"XDG_CONFIG_HOME": config_home})
        wait_for(lambda: "[Error]: Failed to save settings: " in p.stderr(), what="the failed write's line")
        self.assertEqual(p.size(), (800, 600))
        p.choose(self.picture)
        p.wait_picture(*pt.PICTURE_SIZE)
        self.assertEqual(p.stderr().count("Failed to save settings"), 1, "one line for one reason")
        self.close(p)

    def test_nothing_goes_into_the_working_folder_and_no_settings_keeps_nothing(self):
        before = set(os.listdir(self.folder))
        elsewhere = os.path.join(self.files.name, "config-elsewhere")
        p = self.start(env={"XDG_CONFIG_HOME": elsewhere})
        p.choose(self.picture)
        p.wait_picture(*pt.PICTURE_SIZE)
        wait_for(lambda: os.path.exists(os.path.join(elsewhere, "vellumry", "settings.json")), what="the settings")
        self.close(p)
        made_by_test = {"bin", "chooser", "chooser.calls", "stderr.txt"}
        self.assertEqual({n for n in os.listdir(self.folder) if not n.startswith("shot")} - before - made_by_test,
                         set())
        self.assertTrue(os.path.exists(os.path.join(elsewhere, "vellumry", "window-layout.ini")))

        p = self.start("--no-settings", env={"XDG_CONFIG_HOME": os.path.join(self.folder, "unused")})
        p.choose(self.picture)
        p.wait_picture(*pt.PICTURE_SIZE)
        xdotool("windowsize", p.window, 700, 500)
        wait_for(lambda: p.size() == (700, 500), what="the resize")
        self.close(p)
        self.assertFalse(os.path.exists(os.path.join(self.folder, "unused")))
        self.assertNotIn("settings", p.stderr())


if __name__ == "__main__":
    pt.PROGRAM, pt.COMPARE, pt.WM_CLOSE, pt.DEFAULT_PAPER = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1], verbosity=2)
