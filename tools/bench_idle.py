#!/usr/bin/env python3
"""bench_idle.py BUILD [SECONDS]: what an idle window costs, in CPU seconds per second (user and
system time from /proc/<pid>/stat over SECONDS, default 5), with a 1920 x 1280 picture shown in a
1920 x 1080 window: the program at rest, the program with its loop drawing every frame as it did
before it rested (VELLUMRY_RESTLESS_LOOP), and a bare SDL2 + UI window that waits for events
(bare_waiting_window). Run on a virtual display at least 1920 x 1080 (tools/bench.sh does).
Prints figures only; it judges nothing."""
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from desktop import wait_for, xdotool  # noqa: E402
from frame_probe import StreamProbe, asking_frames  # noqa: E402

SIZE = (1920, 1080)


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def measure(process, seconds):
    used = cpu_seconds(process.pid)
    start = time.monotonic()
    time.sleep(seconds)
    return (cpu_seconds(process.pid) - used) / (time.monotonic() - start)


def sized_window(process):
    window = wait_for(lambda: xdotool("search", "--onlyvisible", "--pid", str(process.pid)),
                      what="the window").split()[0]
    xdotool("windowsize", window, str(SIZE[0]), str(SIZE[1]))
    wait_for(lambda: f"Geometry: {SIZE[0]}x{SIZE[1]}" in xdotool("getwindowgeometry", window), what="the resize")
    return window


def program(build, picture, folder, seconds, restless):
    env = dict(os.environ, VELLUMRY_FRAME_PROBE="1")
    if restless:
        env["VELLUMRY_RESTLESS_LOOP"] = "1"
    process = subprocess.Popen([os.path.join(build, "vellumry"), "--no-settings", picture], cwd=folder, env=env,
                               stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        probe = StreamProbe(process.stderr, alive=lambda: process.poll() is None, wake=asking_frames(process))
        sized_window(process)
        wait_for(lambda: probe.last().window == SIZE and probe.last().picture != (0, 0), what="the picture")
        if not restless:
            probe.wait_rest()
        frames = probe.last().number
        figure = measure(process, seconds)
        return figure, probe.last().number - frames
    finally:
        process.terminate()
        process.wait()


def bare(build, seconds):
    process = subprocess.Popen([os.path.join(build, "bare_waiting_window")], stdout=subprocess.DEVNULL)
    try:
        sized_window(process)
        time.sleep(1.0)  # the resize's frames drawn; nothing else comes
        return measure(process, seconds)
    finally:
        process.terminate()
        process.wait()


def main():
    build = os.path.abspath(sys.argv[1])
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 5.0
    with tempfile.TemporaryDirectory() as folder:
        picture = os.path.join(folder, "picture.png")
        subprocess.run(["convert", "-seed", "7", "-size", "1920x1280", "plasma:fractal", picture], check=True,
                       timeout=300)
        print(f"Idle CPU, {SIZE[0]} x {SIZE[1]} window, a 1920 x 1280 picture shown, over {seconds:g} s:")
        rest, rest_frames = program(build, picture, folder, seconds, False)
        print(f"  program at rest         {rest:7.4f} CPU s/s   {rest_frames} frames")
        busy, busy_frames = program(build, picture, folder, seconds, True)
        print(f"  program, every frame    {busy:7.4f} CPU s/s   {busy_frames} frames (the loop before it rested)")
        print(f"  bare waiting window     {bare(build, seconds):7.4f} CPU s/s")


if __name__ == "__main__":
    main()
