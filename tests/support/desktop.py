"""What the tests that drive real programs on a virtual X display share: polling with a time
limit and xdotool. Import it after putting tests/support on sys.path."""
import subprocess
import time


def wait_for(condition, timeout=30.0, what="condition"):
    """Polls condition() until it answers something true, and returns that; fails after timeout."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        last = condition()
        if last:
            return last
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what} (last: {last!r})")


def xdotool(*args):
    """xdotool's output, stripped, or "" when it fails."""
    result = subprocess.run(["xdotool", *[str(a) for a in args]], capture_output=True, text=True, timeout=20)
    return result.stdout.strip() if result.returncode == 0 else ""
