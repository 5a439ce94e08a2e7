#!/usr/bin/python3
"""The real choosers on a virtual display, driven with xdotool.

Usage: real_chooser_test.py zenity|portal PICK_PROGRAM
  zenity: no session bus, so the binding falls back to zenity.
  portal: run inside dbus-run-session with XDG_CURRENT_DESKTOP=GNOME, so the real
          xdg-desktop-portal with its GTK backend answers.
Checks that the expected chooser shows, that a typed name with spaces, quotes, $() and
non-ASCII comes back exactly and is never run by a shell, that a save name lands in the
default folder, that a suggested name and folder reach the save chooser, and that Escape
cancels."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import xdotool  # noqa: E402

SKIP = 77
TITLES = {"open": "Open", "save": "Save As", "saveas": "Save As", "folder": "Select Folder"}
WINDOW_CLASS = {"zenity": "zenity", "portal": "xdg-desktop-portal-gtk"}


def find_window(title, timeout=120.0):
    """Polls for a visible window of that title. A search can fail while another window is being
    destroyed (the previous chooser closing), so a failed search only means "not yet"."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        found = visible_windows(title)
        if found:
            return found[0]
        time.sleep(0.1)
    raise RuntimeError("no window titled %r appeared" % title)


def focus_chooser(title, timeout=120.0):
    """Finds the chooser's window and gives it the keyboard. A window found just as it was
    being replaced (a chooser may map a window and swap it) cannot take the focus: find it
    again."""
    deadline = time.monotonic() + timeout
    while True:
        window = find_window(title)
        time.sleep(0.8)  # the chooser builds its widgets after mapping
        try:
            xdotool("windowfocus", "--sync", window, check=True)
            return window
        except AssertionError:
            pass
        if time.monotonic() > deadline:
            raise RuntimeError("the window titled %r never took the focus" % title)


def visible_windows(title):
    """A failed search (a window being destroyed meanwhile) finds nothing."""
    return xdotool("search", "--onlyvisible", "--name", "^%s$" % title).split()


def ask(kind, pick, env, cwd, keys, mode="open", default=None, name=None):
    """Starts the pick program, waits for the chooser's window, sends `keys` to it."""
    # The previous chooser of the same title may still be closing: a search would find it.
    deadline = time.monotonic() + 120.0
    while visible_windows(TITLES[mode]) and time.monotonic() < deadline:
        time.sleep(0.1)
    args = [pick, mode] + ([default] if default else []) + ([name] if name else [])
    child = subprocess.Popen(args, env=env, cwd=cwd, stdout=subprocess.PIPE, text=True)
    try:
        window = focus_chooser(TITLES[mode])
        wm_class = subprocess.run(["xprop", "-id", window, "WM_CLASS"], capture_output=True, text=True).stdout
        keys(window)
        # On a busy display a keystroke can be lost, leaving the chooser open with its field
        # half typed: type it again. What comes back is still checked exactly.
        for _ in range(2):
            try:
                out, _ = child.communicate(timeout=20)
                break
            except subprocess.TimeoutExpired:
                if visible_windows(TITLES[mode]):
                    keys(focus_chooser(TITLES[mode]))
        else:
            out, _ = child.communicate(timeout=120)
        if WINDOW_CLASS[kind] not in wm_class:
            return "wrong chooser: " + wm_class
        return out
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()


def map_characters(text):
    """Gives each character of text that the keyboard map lacks (é) a key of its own, before any
    chooser starts. Otherwise xdotool binds a spare key for each such character and unbinds it
    right after the keystroke, and a busy client that reads the keystroke after the unbinding
    sees no character: the "é" went missing under load."""
    missing = sorted({ch for ch in text if ord(ch) > 126})
    if not missing:
        return
    table = subprocess.run(["xmodmap", "-pke"], check=True, capture_output=True, text=True, timeout=20).stdout
    free = [int(line.split()[1]) for line in table.splitlines()
            if line.startswith("keycode") and line.split("=", 1)[1].strip() == ""]
    free = [code for code in free if code > 8][::-1]  # the highest first: no real key sits there
    if len(free) < len(missing):
        raise RuntimeError("no free keys to map %r onto" % missing)
    for code, ch in zip(free, missing):
        keysym = "U%04X" % ord(ch)
        subprocess.run(["xmodmap", "-e", "keycode %d = %s %s" % (code, keysym, keysym)], check=True, timeout=20)


def typer(text, locate=True):
    def keys(window):
        if locate:
            xdotool("key", "ctrl+l", check=True)
            time.sleep(0.2)
        xdotool("key", "ctrl+a", check=True)  # typing replaces whatever the field holds
        xdotool("type", "--delay", "15", text, check=True)
        time.sleep(0.3)
        xdotool("key", "Return", check=True)
    return keys


def main():
    kind, pick = sys.argv[1], sys.argv[2]
    needed = ["xdotool", "xprop", "xmodmap"] + (["zenity"] if kind == "zenity" else
                                     ["/usr/libexec/xdg-desktop-portal", "/usr/libexec/xdg-desktop-portal-gtk"])
    if not all(shutil.which(tool) for tool in needed) or not os.environ.get("DISPLAY"):
        print("missing one of", needed, "or a display")
        return SKIP
    env = dict(os.environ)
    env.pop("WAYLAND_DISPLAY", None)
    if kind == "zenity":
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        env.pop("XDG_RUNTIME_DIR", None)
        env["LC_ALL"] = "C"  # the binding must give zenity a UTF-8 locale itself
    failures = []
    with tempfile.TemporaryDirectory(prefix="vellumry-chooser-") as top:
        folder = os.path.join(top, "my pictures")
        os.mkdir(folder)
        target = os.path.join(folder, "été $(touch pwned) 'q' \"d\".png")
        open(target, "w").close()
        map_characters(target)

        out = ask(kind, pick, env, top, typer(target))
        if out != "result 1\npath %s\n" % target:
            failures.append("typed name: got %r" % out)

        out = ask(kind, pick, env, top, typer("new name.png", locate=False), mode="save", default=folder)
        if out != "result 1\npath %s\n" % os.path.join(folder, "new name.png"):
            failures.append("save name in the default folder: got %r" % out)

        # The suggested name and folder are in the chooser already: Return accepts them.
        suggested = "café-painted $(touch pwned).png"
        out = ask(kind, pick, env, top, lambda window: xdotool("key", "Return", check=True), mode="saveas",
                  default=folder, name=suggested)
        if out != "result 1\npath %s\n" % os.path.join(folder, suggested):
            failures.append("suggested name and folder: got %r" % out)

        out = ask(kind, pick, env, top, lambda window: xdotool("key", "Escape", check=True), default=folder)
        if out != "result 2\n":
            failures.append("Escape: got %r" % out)
        if any(os.path.exists(os.path.join(place, "pwned")) for place in (top, folder)):
            failures.append("a shell ran part of a name")

    for failure in failures:
        print("FAIL:", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
