#!/usr/bin/env python3
"""The encoder's flush at the end of a video run, as a user at a terminal sees it.

Renders a 1280x720 depth video (made by the ffmpeg program) into an MP4 twice under a pseudo
terminal, so that the progress bar is drawn: once to the end, measuring how long the flush takes
and how often the bar moves during it; once with SIGINT sent a second into the flush, measuring
how long the tool takes to stop and what it leaves. The flush starts where --verbose says the
encoder is finishing.

    bench/video_flush.py build/native/bin/zavol [seconds of video, default 4]
"""
import os
import pty
import select
import signal
import subprocess
import sys
import tempfile
import time


def run(command, interrupt_after=None):
    """Runs command with a pty as stdin/stdout/stderr. Returns (exit code, output, flush start,
    end, bar updates during the flush, time of the interrupt)."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    output = b""
    flush_start = None
    interrupted = None
    bar_in_flush = 0
    while True:
        if flush_start is not None and interrupt_after is not None and interrupted is None:
            if time.monotonic() - flush_start >= interrupt_after:
                os.kill(pid, signal.SIGINT)
                interrupted = time.monotonic()
        ready, _, _ = select.select([fd], [], [], 0.02)
        if not ready:
            continue
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        output += chunk
        if flush_start is None and b"the encoder is finishing" in output:
            flush_start = time.monotonic()
        elif flush_start is not None:
            bar_in_flush += chunk.count(b"\r\x1b[K[")
    _, status = os.waitpid(pid, 0)
    end = time.monotonic()
    code = os.waitstatus_to_exitcode(status)
    return code, output.decode(errors="replace"), flush_start, end, bar_in_flush, interrupted


def main():
    zavol = os.path.abspath(sys.argv[1])
    seconds = sys.argv[2] if len(sys.argv) > 2 else "4"
    with tempfile.TemporaryDirectory() as folder:
        depth = os.path.join(folder, "depth.mkv")
        subprocess.run(["ffmpeg", "-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                        f"testsrc2=size=1280x720:duration={seconds}:rate=24", "-pix_fmt", "gray",
                        "-c:v", "ffv1", depth], check=True)
        out = os.path.join(folder, "o.mp4")
        command = [zavol, "render", depth, "-o", out, "--verbose", "--fit"]
        start = time.monotonic()
        code, text, flush, end, bars, _ = run(command)
        summary = [line for line in text.splitlines() if "frames written to" in line]
        print(f"full run: exit {code}, {end - start:.1f} s in all, flush "
              f"{(end - flush) if flush else float('nan'):.1f} s with {bars} bar updates in it")
        print("  " + (summary[-1].split("\r")[-1].strip() if summary else "(no summary line)"))
        os.remove(out)
        code, text, flush, end, bars, interrupted = run(command, interrupt_after=1.0)
        left = sorted(os.listdir(folder))
        if interrupted is None:
            print(f"interrupt: the flush ended before the signal; exit {code}")
        else:
            print(f"SIGINT 1 s into the flush: exit {code} after {end - interrupted:.2f} s; "
                  f"files left beside the input: {[n for n in left if n != 'depth.mkv']}")


if __name__ == "__main__":
    main()
