"""What an install puts where, relative to its prefix; shared by the installed-tree and the
Debian package tests, and what the checks of the desktop files share."""
import os
import re
import struct
import subprocess
import xml.etree.ElementTree as ElementTree

APP_ID = "org.vellumry.Vellumry"
ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]

FILES = sorted([
    "bin/vellumry",
    "libexec/vellumry/vellumry-decode",
    f"share/applications/{APP_ID}.desktop",
    f"share/metainfo/{APP_ID}.metainfo.xml",
    f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
    *[f"share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png" for n in ICON_SIZES],
    "share/man/man1/vellumry.1.gz",
    "share/doc/vellumry/copyright",
    "share/doc/vellumry/changelog.gz",
])
PROGRAMS = {"bin/vellumry", "libexec/vellumry/vellumry-decode"}


def files_under(root):
    """Every file and link under root, relative, sorted."""
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            found.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(found)


def desktop_entry(path):
    """The [Desktop Entry] group's keys."""
    entry, group = {}, None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("["):
                group = line
            elif group == "[Desktop Entry]" and "=" in line and not line.startswith("#"):
                key, value = line.split("=", 1)
                entry[key] = value
    return entry


def known_mime_types():
    """The MIME types shared-mime-info defines, and their aliases (image/heic is image/heif's,
    the name phones and file managers give HEIC photos)."""
    with open("/usr/share/mime/packages/freedesktop.org.xml", encoding="utf-8") as f:
        text = f.read()
    return set(re.findall(r'<mime-type type="([^"]+)"', text)) | set(re.findall(r'<alias type="([^"]+)"', text))


def png_header(path):
    """(width, height, colour type) from a PNG's IHDR."""
    with open(path, "rb") as f:
        data = f.read(33)
    assert data[:8] == b"\x89PNG\r\n\x1a\n", path
    width, height, _, colour = struct.unpack(">IIBB", data[16:26])
    return width, height, colour


def check_desktop_files(test, share, version):
    """The desktop entry, the metainfo and the icons under share/, as a software centre and a
    file manager read them."""
    entry_path = os.path.join(share, "applications", APP_ID + ".desktop")
    metainfo_path = os.path.join(share, "metainfo", APP_ID + ".metainfo.xml")
    result = subprocess.run(["desktop-file-validate", entry_path], capture_output=True, text=True, timeout=60)
    test.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))
    result = subprocess.run(["appstreamcli", "validate", "--no-net", metainfo_path], capture_output=True, text=True,
                            timeout=120)
    test.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    entry = desktop_entry(entry_path)
    test.assertEqual(entry["Exec"], "vellumry %f")
    test.assertEqual(entry["Icon"], APP_ID)
    test.assertEqual(entry["Type"], "Application")
    types = [t for t in entry["MimeType"].split(";") if t]
    test.assertTrue({"image/png", "image/jpeg", "image/bmp"} <= set(types), types)
    test.assertFalse(set(types) - known_mime_types(), "every type is one the desktop knows")
    test.assertTrue({"image/tiff", "image/webp", "image/heic", "image/heif", "image/avif"} <= set(types),
                    "the photo formats load")

    component = ElementTree.parse(metainfo_path).getroot()
    test.assertEqual(component.get("type"), "desktop-application")
    test.assertEqual(component.findtext("id"), APP_ID)
    test.assertEqual(component.findtext("project_license"), "MIT")
    test.assertEqual(component.findtext("launchable"), APP_ID + ".desktop")
    test.assertEqual(component.find("releases/release").get("version"), version)
    test.assertGreater(len(component.findall("description/p")), 0)
    test.assertTrue(component.findtext("screenshots/screenshot/image").startswith("https://"))
    test.assertEqual(sorted(m.text for m in component.findall("provides/mediatype")), sorted(types),
                     "the metainfo offers the types the desktop entry opens")

    for n in ICON_SIZES:
        path = os.path.join(share, "icons", "hicolor", f"{n}x{n}", "apps", APP_ID + ".png")
        test.assertEqual(png_header(path), (n, n, 6), f"{path}: {n} x {n} RGBA")
        rgba = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], capture_output=True, check=True,
                              timeout=60).stdout
        alpha = lambda x, y: rgba[(y * n + x) * 4 + 3]
        test.assertEqual(alpha(0, 0), 0, f"{path}: the corners are clear")
        test.assertEqual(alpha(n - 1, n - 1), 0, f"{path}: the corners are clear")
        test.assertEqual(alpha(n // 2, n // 2), 255, f"{path}: the sheet is opaque")
    svg = ElementTree.parse(os.path.join(share, "icons", "hicolor", "scalable", "apps", APP_ID + ".svg")).getroot()
    test.assertEqual(svg.tag, "{http://www.w3.org/2000/svg}svg")
    test.assertEqual(svg.get("viewBox"), "0 0 256 256")


def check_licence_files(test, share, source):
    """The package's copyright file: the program's licence and, in full, the notices of every work
    of others the Linux programs link or carry (as tools/third-party-notices.list names them)."""
    with open(os.path.join(share, "doc", "vellumry", "copyright"), encoding="utf-8") as f:
        copyright_text = f.read()
    with open(os.path.join(source, "LICENSE"), encoding="utf-8") as f:
        test.assertIn(f.read(), copyright_text)
    with open(os.path.join(source, "tools", "third-party-notices.list"), encoding="utf-8") as f:
        works = [[field.strip() for field in line.split("|")] for line in f
                 if line.strip() and not line.startswith("#")]
    for name, package, platforms, _ in works:
        if "linux" not in platforms.split():
            continue
        with open(f"/usr/share/doc/{package}/copyright", encoding="utf-8", errors="replace") as f:
            test.assertIn(f.read().rstrip(), copyright_text, f"{name}'s notices in full")
