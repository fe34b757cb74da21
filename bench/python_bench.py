#!/usr/bin/python3
# The Python module's cost over the engine, and its frames on several threads. The built-in
# scene at 3840x2160 as a float32 array through zavol.render (into a new array, and into an
# out= array) against engine_bench's lines for the same frame (default settings, seed 1,
# 1920x1080 screen) on the same number of threads: the module on one thread against the
# engine's one-thread zavol_render line, and on two against its two-thread line (both built in
# place), interleaved round by round. Then two frames, each on one engine thread, from one
# Python thread against two (what releasing the GIL gives). Figures only; nothing here fails on
# time.
# Usage: /usr/bin/python3 bench/python_bench.py [BUILD_DIR] [ROUNDS]
import json
import os
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

build = Path(sys.argv[1] if len(sys.argv) > 1 else "build/native").resolve()
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
sys.path.insert(0, str(build / "python"))
import numpy as np  # noqa: E402
import zavol  # noqa: E402

# engine_bench's line for each thread count: zavol_render built in place, no progress callback.
ENGINE_LINES = {1: "engine/rgb/zavol_render/3840x2160", 2: "threads/2/3840x2160"}
FRAMES_PER_ROUND = 5


def engine_ms(folder, line):
    """engine_bench's median time per frame for the line, in milliseconds, from one run."""
    report = Path(folder) / "engine.json"
    subprocess.run([str(build / "bin" / "engine_bench"), f"--benchmark_filter=^{line}/",
                    f"--benchmark_out={report}",
                    "--benchmark_out_format=json"], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    runs = json.loads(report.read_text())["benchmarks"]
    return statistics.median(r["real_time"] for r in runs if r.get("run_type") == "iteration")


def python_ms(render):
    """The median time of FRAMES_PER_ROUND calls of render(), in milliseconds."""
    times = []
    for _ in range(FRAMES_PER_ROUND):
        start = time.perf_counter()
        render()
        times.append((time.perf_counter() - start) * 1000)
    return statistics.median(times)


def on_threads(frames, threads):
    """Wall time in milliseconds for rendering frames split over that many threads."""
    def work(part):
        for depth in part:
            zavol.render(depth, seed=1, threads=1)
    workers = [threading.Thread(target=work, args=(frames[i::threads],)) for i in range(threads)]
    start = time.perf_counter()
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    return (time.perf_counter() - start) * 1000


def main():
    with tempfile.TemporaryDirectory() as folder:
        depth_file = Path(folder) / "depth.pfm"
        subprocess.run([str(build / "bin" / "zavol"), "scene", "--size", "3840x2160", "-o",
                        str(depth_file)], check=True, stdout=subprocess.DEVNULL)
        # In NumPy's own memory, as a caller's array is (the reader's buffer has huge pages).
        depth = np.array(zavol.read_depth(depth_file))
        out = np.empty((2160, 3840, 4), np.uint16)
        zavol.render(depth, seed=1, out=out)  # the pages of out are touched once, before timing
        engine = {n: [] for n in ENGINE_LINES}
        fresh = {n: [] for n in ENGINE_LINES}
        into = {n: [] for n in ENGINE_LINES}
        for _ in range(rounds):  # interleaved, so that the machine's load falls on all alike
            for n, line in ENGINE_LINES.items():
                engine[n].append(engine_ms(folder, line))
                fresh[n].append(python_ms(lambda: zavol.render(depth, seed=1, threads=n)))
                into[n].append(python_ms(lambda: zavol.render(depth, seed=1, out=out, threads=n)))

        frames = [depth, depth.copy()]
        one, two = [], []
        for _ in range(rounds):
            one.append(on_threads(frames, 1))
            two.append(on_threads(frames, 2))

    print(f"python_bench: 3840x2160, {rounds} rounds, medians; load average {os.getloadavg()[0]:.2f}"
          f" (1 min) on {os.cpu_count()} cores")
    for n, line in ENGINE_LINES.items():
        base = statistics.median(engine[n])
        print(f"  {n} thread{'s' if n > 1 else ''}: engine_bench {line:<36} {base:7.1f} ms/frame")
        for name, times in [(f"zavol.render(depth, threads={n})", fresh[n]),
                            (f"zavol.render(depth, out=array, threads={n})", into[n])]:
            t = statistics.median(times)
            print(f"    {name:<51} {t:7.1f} ms/frame  {100 * (t / base - 1):+5.1f} % over the engine")
    t1, t2 = statistics.median(one), statistics.median(two)
    print(f"  two frames (threads=1 each) on one Python thread {'':<3} {t1:7.1f} ms")
    print(f"  the same on two Python threads {'':<21} {t2:7.1f} ms  {t1 / t2:4.2f} times as fast")


main()
