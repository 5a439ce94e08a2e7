"""Reading the program's frame probe (VELLUMRY_FRAME_PROBE, app/frame_probe.h): one line per
frame on its error stream after the frame's swap, a second one while an export shows, and one
when the program rests (waits for an event with nothing to draw).

    probe = FrameProbe()
    probe.feed(data)            # bytes of the error stream as they arrive, in order
    probe.frames()              # every frame told so far, as Frame tuples
    probe.log()                 # the error stream without the probe's lines

    probe = StreamProbe(process.stderr, wake=asking_frames(process))   # fed by a thread
    probe.wait_line("[Info]: ...")          # a whole log line, polled with a generous limit
    probe.wait_frames(3)                    # until three more frames have been presented
    probe.wait_rest()                       # until the program rests with nothing to draw

A program at rest draws no frames: wait_frames asks it for them (a number written on its
standard input, which must then be a pipe: asking_frames), so a wait for frames gets them,
input or none.

Only whole lines are read as frames: a line still being written waits for its end (a line
feed, or a carriage return and a line feed from the Windows program). The log shows an
unfinished line of its own as it is, so a missing line feed shows. A frame and its export
line come from one reading, so a frame is never seen without what it showed. It does not start
or look at the screen."""
import os
import re
import threading
from collections import namedtuple

from desktop import DEFAULT_LIMIT, wait_for

FRAME_LINE = re.compile(r"\[Probe\]: frame (\d+) paints (\d+) window (\d+) (\d+) picture (\d+) (\d+) "
                        r"slots (\d+) brush (\S+) (\S+) (\S+)$")
EXPORT_LINE = re.compile(r"\[Probe\]: frame (\d+) exporting (\d+)( rendering)?$")
SAVED_LINE = re.compile(r"\[Probe\]: frame (\d+) saved$")
REST_LINE = re.compile(r"\[Probe\]: frame (\d+) rests$")

# One frame as the probe tells it: the window it drew at, and the picture (0 0 while there is
# none), slots and brush (the parameters as printed) as the frame ended, which the next frame's
# draw reads; `export` is the bar's percent as the frame showed it (None without the bar),
# `rendering` that the export's picture was still being rendered as the frame ended, `saved`
# that the frame showed the export's confirmation, `rests` that the program rested after it.
Frame = namedtuple("Frame", "number paints window picture slots brush export rendering saved rests")
NO_FRAME = Frame(0, 0, (0, 0), (0, 0), 0, (), None, False, False, False)


class FrameProbe:
    def __init__(self):
        self._lock = threading.Lock()
        self._partial = b""
        self._frames = []
        self._log = []
        self._fault = None

    def feed(self, data):
        with self._lock:
            lines = (self._partial + data).split(b"\n")
            self._partial = lines.pop()
            for raw in lines:
                line = raw.decode("utf-8", "replace").rstrip("\r")  # a Windows program's text mode
                if not line.startswith("[Probe]: "):
                    self._log.append(line + "\n")
                    continue
                m = FRAME_LINE.match(line)
                if m:
                    g = m.groups()
                    self._frames.append(Frame(int(g[0]), int(g[1]), (int(g[2]), int(g[3])), (int(g[4]), int(g[5])),
                                              int(g[6]), tuple(g[7:10]), None, False, False, False))
                    continue
                m = EXPORT_LINE.match(line) or SAVED_LINE.match(line) or REST_LINE.match(line)
                if not m or not self._frames or self._frames[-1].number != int(m.group(1)):
                    self._fault = self._fault or f"a probe line out of place: {line!r}"
                    continue
                if m.re is EXPORT_LINE:
                    self._frames[-1] = self._frames[-1]._replace(export=int(m.group(2)), rendering=bool(m.group(3)))
                elif m.re is REST_LINE:
                    self._frames[-1] = self._frames[-1]._replace(rests=True)
                else:
                    self._frames[-1] = self._frames[-1]._replace(saved=True)

    def frames(self):
        with self._lock:
            self._check()
            return list(self._frames)

    def last(self):
        with self._lock:
            self._check()
            return self._frames[-1] if self._frames else NO_FRAME

    def _check(self):
        if self._fault:
            raise AssertionError(self._fault)

    def log(self):
        with self._lock:
            rest = self._partial.decode("utf-8", "replace")
            if rest.startswith("[Probe]: ") or "[Probe]: ".startswith(rest):
                rest = ""  # a probe line on its way, or nothing
            return "".join(self._log) + rest


class StreamProbe(FrameProbe):
    """A FrameProbe fed from a pipe (a program's error stream) by a thread of its own; `copy`, a
    binary file open for writing, gets every byte too. `alive` says whether the program still
    runs (a wait for frames ends when it does not); `wake(count)` asks it for that many frames
    (asking_frames)."""

    def __init__(self, stream, copy=None, alive=lambda: True, wake=None):
        super().__init__()
        self.alive = alive
        self.wake = wake
        self.thread = threading.Thread(target=self._read, args=(stream.fileno(), copy), daemon=True)
        self.thread.start()

    def _read(self, fd, copy):
        while True:
            data = os.read(fd, 65536)
            if not data:
                return
            if copy:
                copy.write(data)
                copy.flush()
            self.feed(data)

    @property
    def lines(self):
        """The log's lines so far, without their line ends."""
        return self.log().splitlines()

    def wait_line(self, text, timeout=DEFAULT_LIMIT):
        wait_for(lambda: text in self.lines, timeout=timeout, what=f"the line {text!r} (log so far: {self.lines})")

    def wait_frames(self, count, what=None):
        """Until `count` more frames have been presented, or the program has ended: after two,
        a whole frame has run since the call and seen any input sent before it."""
        start = self.last().number
        if self.wake:
            self.wake(count)
        wait_for(lambda: not self.alive() or self.last().number >= start + count,
                 what=what or f"{count} frames after frame {start}")
        return self.last()

    def wait_rest(self, what=None):
        """Until the program rests: its latest frame is followed by its rest line (or it has
        ended). The frame it rests after."""
        wait_for(lambda: not self.alive() or self.last().rests, what=what or "the program at rest")
        return self.last()


def asking_frames(process):
    """The `wake` of a program started with its standard input a pipe: the count written there."""
    if not process.stdin:
        return None

    def wake(count):
        try:
            process.stdin.write(b"%d\n" % count)
            process.stdin.flush()
        except (OSError, ValueError):
            pass  # the program has ended, and the wait says so

    return wake
