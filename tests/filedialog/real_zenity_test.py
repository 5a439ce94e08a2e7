#!/usr/bin/python3
"""The real zenity on a virtual display, driven with xdotool: a typed name with spaces, quotes,
$() and non-ASCII comes back exactly, nothing is run by a shell, and Escape cancels.
Usage: real_zenity_test.py PICK_PROGRAM (with DISPLAY set)."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77


def xdotool(*args):
    return subprocess.run(["xdotool", *args], check=True, capture_output=True, text=True, timeout=30).stdout


def ask(pick, env, cwd, keys, mode="open", default=None):
    """Starts the pick program, waits for zenity's window, sends `keys` to it."""
    args = [pick, mode] + ([default] if default else [])
    child = subprocess.Popen(args, env=env, cwd=cwd, stdout=subprocess.PIPE, text=True)
    try:
        title = {"open": "Open", "save": "Save As", "folder": "Select Folder"}[mode]
        window = xdotool("search", "--sync", "--onlyvisible", "--name", "^%s$" % title).split()[0]
        time.sleep(0.5)  # the chooser builds its widgets after mapping
        xdotool("windowfocus", "--sync", window)
        keys(window)
        out, _ = child.communicate(timeout=30)
        return out
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()


def main():
    pick = sys.argv[1]
    if not shutil.which("zenity") or not shutil.which("xdotool") or not os.environ.get("DISPLAY"):
        print("zenity, xdotool or a display is missing")
        return SKIP
    env = dict(os.environ)
    for name in ("DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    env["LC_ALL"] = "C"  # the binding must give zenity a UTF-8 locale itself
    failures = []
    with tempfile.TemporaryDirectory(prefix="vellumry-zenity-") as top:
        folder = os.path.join(top, "my pictures")
        os.mkdir(folder)
        name = "été $(touch pwned) 'q' \"d\".png"
        target = os.path.join(folder, name)
        open(target, "w").close()

        def type_path(window):
            xdotool("key", "--window", window, "ctrl+l")
            time.sleep(0.2)
            xdotool("type", "--delay", "15", target)
            time.sleep(0.3)
            xdotool("key", "Return")

        out = ask(pick, env, top, type_path)
        if out != "result 1\npath %s\n" % target:
            failures.append("typed name: got %r" % out)
        if os.path.exists(os.path.join(top, "pwned")) or os.path.exists(os.path.join(folder, "pwned")):
            failures.append("a shell ran part of a name")

        out = ask(pick, env, top, lambda window: xdotool("key", "Escape"), default=folder)
        if out != "result 2\n":
            failures.append("Escape: got %r" % out)

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
