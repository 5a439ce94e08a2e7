#!/usr/bin/env python3
"""The Debian package, built as `./dev package` builds it (tools/make-deb.sh, in a folder of its
own under the build folder): its control fields and contents, lintian, whether apt can resolve
it here, and an install into a throwaway root with dpkg, the program started from there painting
a picture, and the removal leaving nothing behind.

Usage: deb_test.py BUILD_DIR COMPARE_WINDOW PAPER VERSION   (under tests/support/with-xvfb.sh)
"""
import glob
import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
for folder in ("../e2e", "../support"):
    sys.path.insert(0, os.path.join(HERE, folder))
import program_test as pt  # noqa: E402
from desktop import wait_for  # noqa: E402
from desktop_program import StartedProgram  # noqa: E402
from installed_files import FILES, PROGRAMS, check_desktop_files, check_licence_files, files_under  # noqa: E402

BUILD = VERSION = None
SOURCE = os.path.normpath(os.path.join(HERE, "..", ".."))


def run(*args, timeout=600, **kwargs):
    return subprocess.run(list(args), capture_output=True, text=True, timeout=timeout, **kwargs)


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        result = run(os.path.join(SOURCE, "tools", "make-deb.sh"), os.path.join(BUILD, "debian-package"),
                     timeout=1200)
        assert result.returncode == 0, result.stdout + result.stderr
        cls.deb = result.stdout.strip().splitlines()[-1]
        cls.arch = run("dpkg", "--print-architecture").stdout.strip()

    def field(self, name):
        return run("dpkg-deb", "--field", self.deb, name).stdout.strip()

    def test_named_and_described_as_a_debian_package(self):
        self.assertEqual(os.path.basename(self.deb), f"vellumry_{VERSION}_{self.arch}.deb")
        info = run("dpkg-deb", "--info", self.deb)
        self.assertEqual(info.returncode, 0, info.stderr)
        self.assertEqual(self.field("Package"), "vellumry")
        self.assertEqual(self.field("Version"), VERSION)
        self.assertEqual(self.field("Architecture"), self.arch)
        self.assertEqual(self.field("Section"), "graphics")
        self.assertEqual(self.field("Priority"), "optional")
        self.assertRegex(self.field("Maintainer"), r"^[^<>]+ <[^@<>]+@[^@<>]+>$")
        description = self.field("Description").splitlines()
        self.assertEqual(description[0], "show a picture as if painted with a brush on textured paper")
        self.assertGreater(len(description), 3, "an extended description")
        self.assertTrue(all(len(line) <= 80 for line in description), description)
        # Computed from what the two programs link, plus the GL library SDL loads at run time.
        depends = [d.strip().split(" ")[0] for d in self.field("Depends").split(",")]
        for package in ("libc6", "libsdl2-2.0-0", "libstb0", "libstdc++6", "libdbus-1-3", "libgl1"):
            self.assertIn(package, depends)
        self.assertEqual(self.field("Pre-Depends"), "")
        # No maintainer scripts: the desktop's caches are refreshed by triggers.
        self.assertNotRegex(info.stdout, r"\b(preinst|postinst|prerm|postrm)\b")

    def test_contents_owned_by_root_in_the_usual_places(self):
        listing = run("dpkg-deb", "--contents", self.deb).stdout.splitlines()
        files = []
        for line in listing:
            mode, owner, _, _, _, path = line.split(None, 5)
            self.assertEqual(owner, "root/root", line)
            if mode.startswith("-"):
                name = path[len("./usr/"):]
                files.append(name)
                self.assertEqual(mode, "-rwxr-xr-x" if name in PROGRAMS else "-rw-r--r--", line)
            else:
                self.assertEqual(mode, "drwxr-xr-x", line)
        self.assertEqual(sorted(files), FILES)

    def test_lintian_finds_no_errors(self):
        result = run("lintian", "--info", "--display-info", self.deb, timeout=600)
        tags = [line for line in result.stdout.splitlines() if line[:2] in ("E:", "W:", "I:", "P:")]
        print("\nlintian:", *(tags or ["(nothing)"]), sep="\n  ")
        errors = [t for t in tags if t.startswith("E:")]
        self.assertEqual(errors, [])
        self.assertIn(result.returncode, (0, 1), result.stderr)

    def test_apt_can_install_it_here(self):
        if not glob.glob("/var/lib/apt/lists/*_Packages*"):
            self.skipTest("apt has no package lists on this machine")
        result = run("apt-get", "install", "--simulate", "--no-install-recommends", self.deb, timeout=300)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertRegex(result.stdout, rf"Inst vellumry \({VERSION}\b")

    def test_installed_started_and_removed_without_a_trace(self):
        with tempfile.TemporaryDirectory() as work:
            root = os.path.join(work, "root")
            as_root = os.geteuid() == 0
            if as_root:
                # A throwaway root with an empty package database; the host provides the
                # libraries the program runs with, so the dependencies are waived there.
                for folder in ("var/lib/dpkg/info", "var/lib/dpkg/updates"):
                    os.makedirs(os.path.join(root, folder))
                for name in ("status", "available"):
                    open(os.path.join(root, "var/lib/dpkg", name), "w").close()
                result = run("dpkg", f"--root={root}", "--force-depends", "--install", self.deb)
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            else:
                os.makedirs(root)
                result = run("dpkg-deb", "--extract", self.deb, root)
                self.assertEqual(result.returncode, 0, result.stderr)
            usr = os.path.join(root, "usr")
            self.assertEqual(files_under(usr), FILES)
            check_desktop_files(self, os.path.join(usr, "share"), VERSION)
            check_licence_files(self, os.path.join(usr, "share"), SOURCE)

            picture = os.path.join(work, "picture.png")
            pt.write_png(picture, *pt.PICTURE_SIZE, pt.test_picture)
            area = pt.fit(800, 600, *pt.PICTURE_SIZE)
            folder = os.path.join(work, "run")
            os.mkdir(folder)
            p = StartedProgram(folder, [picture], program=os.path.join(usr, "bin", "vellumry"))
            try:
                wait_for(lambda: f"[Info]: Loading diffuse texture: {picture}\n" in p.stderr(), what="the import")
                p.wait_painted(picture, pt.DEFAULT_PAPER, area, what="the picture from the installed package")
                self.assertNotIn("[Error]", p.stderr())
            finally:
                p.close()

            if not as_root:
                print("\nnot root: installed with dpkg-deb --extract; the removal is not checked")
                return
            result = run("dpkg", f"--root={root}", "--purge", "vellumry")
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            left = [f for f in files_under(root) if not f.startswith("var/lib/dpkg/")]
            self.assertEqual(left, [], "nothing left behind")
            self.assertFalse(os.path.exists(usr), "not even the folders")
            self.assertEqual(glob.glob(os.path.join(root, "var/lib/dpkg/info/vellumry.*")), [])


if __name__ == "__main__":
    BUILD, pt.COMPARE, pt.DEFAULT_PAPER, VERSION = sys.argv[1:5]
    unittest.main(argv=sys.argv[:1] + sys.argv[5:], verbosity=2)
