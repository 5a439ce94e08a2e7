#!/usr/bin/env python3
"""The installed tree: `cmake --install` into a staging folder, the files a desktop needs in their
places and valid, and the installed program started from there, finding its decoder under
libexec/ and painting a picture named on its command line.

Usage: install_test.py BUILD_DIR COMPARE_WINDOW PAPER VERSION   (under tests/support/with-xvfb.sh)
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
for folder in ("../e2e", "../support"):
    sys.path.insert(0, os.path.join(HERE, folder))
import program_test as pt  # noqa: E402
from desktop import wait_for  # noqa: E402
from desktop_program import ProgramTestCase  # noqa: E402
from installed_files import FILES, PROGRAMS, check_desktop_files, check_licence_files, files_under  # noqa: E402

BUILD = VERSION = None


class InstalledTree(ProgramTestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory()
        cls.prefix = os.path.join(cls.work.name, "staging prefix")
        result = subprocess.run(["cmake", "--install", BUILD, "--prefix", cls.prefix], capture_output=True,
                                text=True, timeout=300)
        assert result.returncode == 0, result.stdout + result.stderr
        cls.picture = os.path.join(cls.work.name, "picture.png")
        pt.write_png(cls.picture, *pt.PICTURE_SIZE, pt.test_picture)
        cls.area = pt.fit(800, 600, *pt.PICTURE_SIZE)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_every_file_in_its_place(self):
        self.assertEqual(files_under(self.prefix), FILES)
        for name in FILES:
            mode = os.stat(os.path.join(self.prefix, name)).st_mode & 0o777
            self.assertEqual(mode, 0o755 if name in PROGRAMS else 0o644, name)

    def test_the_desktop_files_are_valid_and_agree(self):
        check_desktop_files(self, os.path.join(self.prefix, "share"), VERSION)

    def test_the_licence_and_every_notice_are_in_the_copyright_file(self):
        check_licence_files(self, os.path.join(self.prefix, "share"), os.path.join(HERE, "..", ".."))

    def test_the_manual_page_renders_cleanly(self):
        page = os.path.join(self.prefix, "share/man/man1/vellumry.1.gz")
        env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
        result = subprocess.run(["man", "--warnings", "-l", page], capture_output=True, text=True, env=env,
                                timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "", "no warnings from the formatter")
        self.assertIn("vellumry - show a picture as if painted", result.stdout)
        self.assertIn(f"vellumry {VERSION}", result.stdout)

    def test_the_installed_program_finds_its_decoder_and_paints_a_picture(self):
        p = self.start(self.picture, program=os.path.join(self.prefix, "bin", "vellumry"))
        wait_for(lambda: f"[Info]: Loading diffuse texture: {self.picture}\n" in p.stderr(), what="the import")
        p.wait_painted(self.picture, pt.DEFAULT_PAPER, self.area, what="the picture, decoded by the installed helper")
        self.assertNotIn("[Error]", p.stderr())

    def test_a_link_to_the_program_finds_the_decoder_and_a_tree_without_it_says_so(self):
        # Started through a link elsewhere (as /usr/local/bin links to /opt do): the decoder is
        # found from the program's real place.
        links = os.path.join(self.folder.name, "links")
        os.mkdir(links)
        os.symlink(os.path.join(self.prefix, "bin", "vellumry"), os.path.join(links, "vellumry"))
        p = self.start(self.picture, program=os.path.join(links, "vellumry"))
        wait_for(lambda: f"[Info]: Loading diffuse texture: {self.picture}\n" in p.stderr(), what="the import")
        p.wait_painted(self.picture, pt.DEFAULT_PAPER, self.area, what="the picture through the link")

        # A copy of the program alone: the import fails with a reason, the program runs on.
        alone = os.path.join(self.folder.name, "alone")
        os.mkdir(alone)
        shutil.copy(os.path.join(self.prefix, "bin", "vellumry"), alone)
        p = self.start(self.picture, program=os.path.join(alone, "vellumry"))
        wait_for(lambda: f"[Error]: Failed to load texture: {self.picture}: could not find the decoder vellumry-decode"
                 in p.stderr(), what="the reason")
        self.assertIsNone(p.process.poll())


if __name__ == "__main__":
    BUILD, pt.COMPARE, pt.DEFAULT_PAPER, VERSION = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
