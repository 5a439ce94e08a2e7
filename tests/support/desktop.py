"""What the tests that drive real programs on a virtual X display share: polling with a time
limit and xdotool. Import it after putting tests/support on sys.path.

A limit is a hang detector, not a claim about speed: the machine may be busy with other work,
so the limits are generous and nothing here waits a fixed time for something to have happened."""
import subprocess
import time

# Long enough for a busy machine with a software GL; what is waited for is reported by the
# program (its log, its frame probe) or seen on the display.
DEFAULT_LIMIT = 120.0


def wait_for(condition, timeout=DEFAULT_LIMIT, what="condition"):
    """Polls condition() until it answers something true, and returns that; fails after timeout."""
    deadline = time.monotonic() + timeout
    last = None
    while time.monotonic() < deadline:
        last = condition()
        if last:
            return last
        time.sleep(0.05)
    raise AssertionError(f"timed out waiting for {what} (last: {last!r})")


def xdotool(*args, check=False):
    """xdotool's output, stripped; "" when it fails, or with `check` an AssertionError."""
    result = subprocess.run(["xdotool", *[str(a) for a in args]], capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        if check:
            raise AssertionError(f"xdotool {' '.join(str(a) for a in args)} failed: {result.stderr.strip()}")
        return ""
    return result.stdout.strip()
