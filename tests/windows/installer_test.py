"""The Windows installer and zip under Wine: a silent install (/S) into the test prefix, the
installed program started through its "Open with" command with a picture whose path is not
ASCII, painting it; then the silent uninstall that Apps & features would run, leaving no file
and no registry key of ours behind.
  installer_test.py SETUP.exe PACKAGE.zip VERSION

Wine's menu builder is switched off for these runs: it would mirror the Start-menu shortcut and
the file types into the desktop's own menus, outside the prefix.
"""
import os
import re
import subprocess
import sys
import tempfile
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
import winetest  # noqa: E402
from desktop import wait_for  # noqa: E402

SETUP, ZIP, VERSION = sys.argv[1:4]
PREFIX = os.environ["WINEPREFIX"]
DRIVE_C = os.path.join(PREFIX, "drive_c")
INSTALLED = os.path.join(DRIVE_C, "Program Files", "Vellumry")
SHORTCUT = os.path.join(DRIVE_C, "ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Vellumry.lnk")
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellumry"
# Where an install writes, exported whole before and after.
WATCHED_KEYS = [r"HKEY_LOCAL_MACHINE\Software\Classes",
                r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall",
                r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths",
                r"HKEY_CURRENT_USER\Software\Classes"]
ENV = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="winemenubuilder.exe=d", LC_ALL="C.UTF-8")


def wine(*args, timeout=120):
    return subprocess.run([winetest.wine_command(), *args], capture_output=True, env=ENV, timeout=timeout)


def reg_values(key):
    """{value name: data} of a key ("" for the default value), or None when it does not exist."""
    result = wine("reg", "query", key)
    if result.returncode != 0:
        return None
    values = {}
    text = result.stdout.decode("utf-8", "replace")
    own = True
    for line in text.splitlines():
        if line.startswith("HKEY_"):
            own = line.strip().lower() == key.replace("HKLM", "HKEY_LOCAL_MACHINE").lower()
            continue
        match = re.match(r"^    (.*?)\s+(REG_\w+)\s*(.*)$", line)
        if own and match:
            name = "" if match.group(1) == "(Default)" else match.group(1)
            values[name] = match.group(3)
    return values


def registry_snapshot(work, tag):
    texts = []
    for i, key in enumerate(WATCHED_KEYS):
        path = os.path.join(work, f"{tag}-{i}.reg")
        wine("regedit", "/E", winetest.windows_path(path), key)
        if not os.path.exists(path):  # the key does not exist
            texts.append("(no key)")
            continue
        with open(path, "rb") as f:
            data = f.read()
        texts.append(data.decode("utf-16") if data[:2] == b"\xff\xfe" else data.decode("utf-8", "replace"))
    return texts


def file_snapshot():
    """Every file of the prefix's user-visible folders; Temp is the system's to clean."""
    found = set()
    for top in ("Program Files", "ProgramData", "users"):
        for folder, dirs, names in os.walk(os.path.join(DRIVE_C, top)):
            dirs[:] = [d for d in dirs if d.lower() != "temp"]
            for name in names + dirs:
                found.add(os.path.relpath(os.path.join(folder, name), DRIVE_C))
    return found


def uninstall_running():
    """Whether the uninstaller's copy (Temp\\~nsuN.tmp\\Un.exe) is still a process."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                arguments = f.read().decode("utf-8", "replace")
        except OSError:
            continue
        if re.search(r"\\~nsu\w*\.tmp\\Un", arguments):
            return True
    return False


def uninstall():
    """What Apps & features runs for a quiet uninstall; waits for the uninstaller's own copy
    (it runs from Temp so that it can delete itself) to finish."""
    values = reg_values(UNINSTALL_KEY)
    command = values["QuietUninstallString"]
    match = re.fullmatch(r'"([^"]+)" /S', command)
    assert match, command
    result = wine(match.group(1), "/S")
    assert result.returncode == 0, result
    wait_for(lambda: reg_values(UNINSTALL_KEY) is None and not os.path.exists(INSTALLED), what="the uninstall")
    wait_for(lambda: not uninstall_running(), what="the uninstaller to end")


def check_licence_files(read):
    """LICENSE is the project's; the notices name each work the Windows programs link (zlib's and
    libpng's own words among them) and the runtime the compiler links in."""
    licence = read("LICENSE").decode()
    assert licence.startswith("MIT License") and "Copyright (c) 2026 The Vellumry developers" in licence, licence
    notices = read("THIRD-PARTY-NOTICES.txt").decode()
    for expected in ("SDL2 2.", "Dear ImGui 1.86", "stb_image ", "libpng 1.6", "zlib 1.", "libjpeg-turbo 2.",
                     "Roboto ", "MinGW-w64 runtime", "GCC runtime libraries", "Jean-loup Gailly",
                     "Glenn Randers-Pehrson"):
        assert expected in notices, expected
    assert "D-Bus" not in notices, "a Linux-only library"


def check_zip():
    with zipfile.ZipFile(ZIP) as z:
        names = sorted(n for n in z.namelist() if not n.endswith("/"))
        folder = f"vellumry-{VERSION}-windows-x64/"
        assert names == [folder + n for n in ("LICENSE", "THIRD-PARTY-NOTICES.txt", "vellumry-decode.exe",
                                              "vellumry.exe")], names
        for name in names[2:]:
            assert z.read(name)[:2] == b"MZ", name
        check_licence_files(lambda name: z.read(folder + name))
    print("ok    the zip holds the two programs, the licence and the notices")


def check_installed():
    assert sorted(os.listdir(INSTALLED)) == ["LICENSE", "THIRD-PARTY-NOTICES.txt", "uninstall.exe",
                                             "vellumry-decode.exe", "vellumry.exe"], os.listdir(INSTALLED)

    def read(name):
        with open(os.path.join(INSTALLED, name), "rb") as f:
            return f.read()
    check_licence_files(read)
    assert os.path.exists(SHORTCUT), "no Start-menu shortcut"
    entry = reg_values(UNINSTALL_KEY)
    assert entry is not None, "no entry in Apps & features"
    assert entry["DisplayName"] == "Vellumry" and entry["DisplayVersion"] == VERSION, entry
    assert entry["UninstallString"] == r'"C:\Program Files\Vellumry\uninstall.exe"', entry
    assert reg_values(r"HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\vellumry.exe")[""] == \
        r"C:\Program Files\Vellumry\vellumry.exe"
    for extension in (".png", ".jpg", ".bmp"):
        assert "Vellumry.Picture" in (reg_values(rf"HKLM\Software\Classes\{extension}\OpenWithProgids") or {}), \
            extension
        assert extension in reg_values(r"HKLM\Software\Classes\Applications\vellumry.exe\SupportedTypes")
    assert ".tif" not in reg_values(r"HKLM\Software\Classes\Applications\vellumry.exe\SupportedTypes")
    print("ok    installed: files, shortcut, Apps & features, Open with")


def open_with(work):
    """Runs the registered "Open with" command on a picture and checks it is painted."""
    command = reg_values(r"HKLM\Software\Classes\Applications\vellumry.exe\shell\open\command")[""]
    assert command == reg_values(r"HKLM\Software\Classes\Vellumry.Picture\shell\open\command")[""], command
    match = re.fullmatch(r'"([^"]+)" "%1"', command)
    assert match, command
    folder = os.path.join(work, "Photos \u00e9t\u00e9 \u65e5\u672c")
    os.mkdir(folder)
    picture = os.path.join(folder, "picture.png")
    # Blue to red from left to right with a yellow disc in the middle, fitted to 800 x 600.
    winetest.make_test_picture(picture)
    path = winetest.windows_path(picture)
    winetest.forget_kept_settings()
    process = subprocess.Popen([winetest.wine_command(), match.group(1), path], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=ENV, cwd=work)
    try:
        reader = program_test.read_log(process)
        window = winetest.wait_for_window("^Vellumry$", process=process)
        reader.wait_line("[Info]: Loading diffuse texture: " + path)
        geometry = program_test.client_geometry(window)
        shot = os.path.join(work, "installed.png")

        def on_screen():
            # The picture arrives some frames after its log line.
            program_test.screenshot(geometry, shot)
            image = program_test.rgb_pixels(shot)
            r, g, b = program_test.mean_colour(image, (380, 340, 420, 380))
            left = program_test.mean_colour(image, (20, 400, 60, 440))
            right = program_test.mean_colour(image, (740, 500, 780, 540))
            return r > 120 and g > 120 and b < 90 and left[2] > left[0] + 40 and right[0] > right[2] + 40

        wait_for(on_screen, what="the picture on screen")
        errors = [line for line in reader.lines if line.startswith("[Error]")]
        assert not errors, errors
    finally:
        # Not winetest.kill: its communicate() waits for the pipes, which Wine processes that
        # this start launched (the desktop window's process) may keep open.
        process.kill()
        process.wait(timeout=30)
    print("ok    the installed program opens a picture through Open with")


def main():
    work = tempfile.mkdtemp(prefix="vellumry installer ")
    check_zip()
    if reg_values(UNINSTALL_KEY) is not None:
        print("an earlier run left an install: uninstalling it first")
        uninstall()
    files_before = file_snapshot()
    registry_before = registry_snapshot(work, "before")

    result = wine(SETUP, "/S", timeout=300)
    assert result.returncode == 0, f"the installer ended with status {result.returncode}"
    check_installed()
    open_with(work)

    uninstall()
    # What the user keeps between runs (settings, looks) is theirs: it outlives an uninstall.
    kept = os.path.join("AppData", "Roaming", "Vellumry")
    left = sorted(path for path in file_snapshot() - files_before if kept not in path)
    assert not left, f"files left behind: {left}"
    for key, before, after in zip(WATCHED_KEYS, registry_before, registry_snapshot(work, "after")):
        if before != after:
            import difflib
            diff = "\n".join(difflib.unified_diff(before.splitlines(), after.splitlines(), lineterm="", n=1))
            raise AssertionError(f"{key} differs after the uninstall:\n{diff[:4000]}")
    print("ok    uninstalled: no file or registry key of ours left")
    # The uninstaller's copy of itself in Temp goes at the next reboot; the test prefix has none.
    subprocess.run(["sh", "-c", 'rm -rf "$0"/users/*/Temp/~nsu*.tmp', DRIVE_C])
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    # The program test's helpers for the window, screenshots and the log (it reads its own
    # arguments when imported: the installer stands in for its program).
    sys.argv = sys.argv[:2]
    import program_test
    main()
