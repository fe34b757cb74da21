#!/usr/bin/python3
# The Python module's cost over the engine, and its frames on several threads. The built-in
# scene at 3840x2160 as a float32 array through zavol.render (into a new array, and into an
# out= array) against engine_bench's zavol_render line for the same frame (default settings,
# seed 1, 1920x1080 screen), interleaved round by round; then two frames on one thread against
# the same two frames on two threads. Figures only; nothing here fails on time.
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

ENGINE_LINE = "engine/rgb/zavol_render/3840x2160"
FRAMES_PER_ROUND = 5


def engine_ms(folder):
    """engine_bench's mean time per frame for the line, in milliseconds, from one run."""
    report = Path(folder) / "engine.json"
    subprocess.run([str(build / "bin" / "engine_bench"), f"--benchmark_filter=^{ENGINE_LINE}/",
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
            zavol.render(depth, seed=1)
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
        engine, fresh, into = [], [], []
        for _ in range(rounds):  # interleaved, so that the machine's load falls on all alike
            engine.append(engine_ms(folder))
            fresh.append(python_ms(lambda: zavol.render(depth, seed=1)))
            into.append(python_ms(lambda: zavol.render(depth, seed=1, out=out)))

        frames = [depth, depth.copy()]
        one, two = [], []
        for _ in range(rounds):
            one.append(on_threads(frames, 1))
            two.append(on_threads(frames, 2))

    base = statistics.median(engine)
    print(f"python_bench: 3840x2160, {rounds} rounds, medians; load average {os.getloadavg()[0]:.2f}"
          f" (1 min) on {os.cpu_count()} cores")
    print(f"  engine_bench {ENGINE_LINE:<40} {base:7.1f} ms/frame")
    for name, times in [("zavol.render(depth), a new array", fresh),
                        ("zavol.render(depth, out=array)", into)]:
        t = statistics.median(times)
        print(f"  {name:<53} {t:7.1f} ms/frame  {100 * (t / base - 1):+5.1f} % over the engine")
    t1, t2 = statistics.median(one), statistics.median(two)
    print(f"  two frames on one thread {'':<27} {t1:7.1f} ms")
    print(f"  two frames on two threads {'':<26} {t2:7.1f} ms  {t1 / t2:4.2f} times as fast")


main()
