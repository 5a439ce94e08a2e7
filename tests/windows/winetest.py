"""Shared pieces of the Wine tests that drive windows with xdotool: starting Windows programs
under Wine (the program's frame probe on, tests/support/frame_probe.py), finding their windows,
typing into them, screenshots. Every wait polls with a generous limit; a program that outlives
its test is killed by its process id."""
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from desktop import DEFAULT_LIMIT, wait_for, xdotool  # noqa: E402,F401 (the Wine tests' xdotool too)


def wine_command():
    # wine64 itself: the "wine" wrapper prints a note about 32-bit Wine on stderr.
    for candidate in ("/usr/lib/wine/wine64", shutil.which("wine64"), shutil.which("wine")):
        if candidate and os.access(candidate, os.X_OK):
            return candidate
    raise SystemExit("wine is not installed")


def windows_path(path):
    """The Wine path of a host path: / is drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def forget_kept_settings():
    """Removes what the program keeps between runs in the shared prefix (its settings folder
    under each user's roaming AppData), so that no test sees a look, a window or folders another
    test left behind."""
    users = os.path.join(os.environ["WINEPREFIX"], "drive_c", "users")
    for user in os.listdir(users) if os.path.isdir(users) else []:
        shutil.rmtree(os.path.join(users, user, "AppData", "Roaming", "Vellumry"), ignore_errors=True)


def start(exe, *args, cwd=None):
    """The program under Wine, as on its first run in the prefix."""
    forget_kept_settings()
    env = dict(os.environ, WINEDEBUG=os.environ.get("WINEDEBUG", "-all"), VELLUMRY_FRAME_PROBE="1")
    return subprocess.Popen([wine_command(), os.path.abspath(exe), *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            env=env, cwd=cwd)


def wait_for_window(title_regex, timeout=DEFAULT_LIMIT, process=None):
    """The id of the first visible window whose title matches."""
    def found():
        ids = xdotool("search", "--onlyvisible", "--name", title_regex).split()
        if not ids and process is not None and process.poll() is not None:
            raise AssertionError("the program ended (status %s) before a window %r appeared"
                                 % (process.returncode, title_regex))
        return ids[0] if ids else None
    return wait_for(found, timeout=timeout, what="a window %r" % title_regex)


def wait_for_no_window(title_regex, timeout=DEFAULT_LIMIT):
    wait_for(lambda: not xdotool("search", "--onlyvisible", "--name", title_regex).split(), timeout=timeout,
             what="no window %r" % title_regex)


def type_into(window, text=None, key="Return", first=None):
    """Focuses a dialog, waits for it to take keys (earlier keystrokes are lost), types.
    `first` is a key pressed before the text, with time for what it opens to appear."""
    xdotool("windowfocus", "--sync", window)
    # The dialog fills its folder view after it shows; keys sent before that are lost.
    time.sleep(1.5)
    if first:
        xdotool("key", first, check=True)
        time.sleep(0.8)
    if text is not None:
        type_text(text)
    if key:
        xdotool("key", key, check=True)


def type_text(text):
    """Types text. A character that is not on the keyboard map (é) is typed by remapping a
    spare key, and a key event that reaches Wine before the new map does is lost; so such
    characters go one at a time, with time for the map to arrive."""
    run = ""
    for ch in text + "\0":
        if ch != "\0" and ord(ch) < 128:
            run += ch
            continue
        if run:
            xdotool("type", "--delay", "20", run, check=True)
            run = ""
        if ch != "\0":
            time.sleep(0.2)
            xdotool("type", "--delay", "200", ch, check=True)
            time.sleep(0.2)


def finish(process, timeout=DEFAULT_LIMIT):
    """stdout and stderr of a program that should end by itself; killed if it does not."""
    try:
        out, err = process.communicate(timeout=timeout)
    except subprocess.TimeoutExpired:
        shot = os.environ.get("WINETEST_SHOTS")
        if shot:
            os.makedirs(shot, exist_ok=True)
            subprocess.run(["import", "-window", "root", os.path.join(shot, "timeout-%d.png" % process.pid)],
                           timeout=30)
        xdotool("key", "Escape")
        process.kill()
        out, err = process.communicate()
        raise AssertionError("the program did not end within %g s; killed. stderr: %s" % (timeout, err[-2000:]))
    return out, err


def run_main(main, prefix):
    """Runs a test's main(). When an assertion fails, what the screen showed then is saved as
    failure.png beside the test's other screenshots, in the newest temporary folder whose name
    starts with `prefix` (the test's tempfile.mkdtemp prefix), and the failure goes on."""
    try:
        main()
    except AssertionError:
        shots = [d for d in os.listdir(tempfile.gettempdir()) if d.startswith(prefix)]
        if shots:
            newest = max((os.path.join(tempfile.gettempdir(), d) for d in shots), key=os.path.getmtime)
            subprocess.run(["import", "-window", "root", os.path.join(newest, "failure.png")], timeout=60)
            print("screenshots in %s" % newest)
        raise


def make_test_picture(path):
    """The Windows tests' picture: 320 x 240, blue to red from left to right, a yellow disc in
    the middle, so that where the window shows it can be told from the paper and the black."""
    subprocess.run(["convert", "-size", "240x320", "gradient:red-blue", "-rotate", "90", "-fill", "yellow",
                    "-draw", "circle 160,120 160,70", path], check=True, timeout=60)


def kill(process):
    if process.poll() is None:
        process.kill()
        process.communicate()
