# zavol.render against the zavol tool and the golden digests; array layouts in place or copied;
# progress, Ctrl-C and threads.
import subprocess
import sys
import textwrap
import threading
import tracemalloc

import numpy as np
import pytest
import zavol
from conftest import DATA, fnv1a64, read_pam, run_tool, write_pfm


def test_golden_scenes_equal_their_digests_and_the_tool(golden, tmp_path):
    for name, digest, has_pattern, screen, folder in golden:
        stem = folder / name
        settings = zavol.Settings.from_bytes((folder / f"{name}.bin").read_bytes())
        args = [f"{stem}.pfm", "-o", tmp_path / f"{name}.pam", "--settings", f"{stem}.bin",
                "--screen", f"{screen[0]}x{screen[1]}", "--seed", 0, "-q"]
        pattern = None
        if has_pattern:
            pattern = read_pam(f"{stem}_pattern.pam")
            args += ["--pattern", f"{stem}_pattern.pam"]
        img = zavol.render(zavol.read_depth(f"{stem}.pfm"), settings, screen=screen, seed=0,
                           pattern=pattern)
        assert fnv1a64(img) == digest, name
        run_tool("render", *args)
        np.testing.assert_array_equal(img, read_pam(tmp_path / f"{name}.pam"), err_msg=name)


# file, depth kind (None: the format's own), tool options, the same as render() keywords
SAMPLES = [
    ("cycles_single_zbuf.exr", None, [], {}),
    ("cycles_multilayer.exr", "mist", ["--ramp", "hsv"], {"ramp_mode": "hsv"}),
    ("chain_ring.png", None, ["--guide", "--no-prevent-ghosting"],
     {"put_guide_points": True, "prevent_ghosting": False}),
    ("test-1.pfm", None, ["--pattern", DATA / "chain_ring.png"], {"pattern": "chain_ring.png"}),
    ("Beachball_singlepart.0001.exr", "disparity", ["--medium", "a4"], {"viewing_medium": "a4"}),
    ("v2_LowResLeftView_Trunks.exr", "distance",
     ["--far-cutoff", 500, "--no-auto-distance", "--near-distance", 100, "--far-distance", 900],
     {"far_cutoff": 500, "auto_distance": False, "near_distance": 100, "far_distance": 900}),
    ("cycles_single_zbuf.exr", None, ["--dots", "stable", "--dot-size", 2, "--view", "cross"],
     {"dots": "stable", "dot_size": 2, "view": "cross"}),
    ("cycles_multilayer.exr", "mist", ["--oversample", 3, "--linking", "symmetric", "--anchor",
                                       "centre"],
     {"oversample": 3, "linking": "symmetric", "anchor": "centre"}),
]


@pytest.mark.parametrize("name,kind,options,keywords", SAMPLES,
                         ids=[f"{i}-{s[0]}" for i, s in enumerate(SAMPLES)])
def test_sample_files_render_as_the_tool_renders_them(name, kind, options, keywords, tmp_path):
    keywords = dict(keywords)
    cutoff = keywords.pop("far_cutoff", 1e9)
    if "pattern" in keywords:
        keywords["pattern"] = zavol.read_image(DATA / keywords["pattern"])
    kind_option = ["--depth-kind", kind] if kind else []
    run_tool("render", DATA / name, "-o", tmp_path / "tool.pam", "--seed", 7, "-q",
             *kind_option, *options)
    depth = zavol.read_depth(DATA / name, kind, far_cutoff=cutoff)
    img = zavol.render(depth, seed=7, **keywords)
    np.testing.assert_array_equal(img, read_pam(tmp_path / "tool.pam"))


def test_every_depth_kind_converts_as_the_tool_reads_it(tmp_path):
    rng = np.random.default_rng(5)
    raw = rng.uniform(0.0, 1.6, (37, 53)).astype(np.float32)
    raw[3, :8] = [np.nan, np.inf, -np.inf, 0.0, -0.5, 1.0, 1.5, 2.0]
    write_pfm(tmp_path / "raw.pfm", raw)
    kept = raw.copy()
    for kind in ["host", "distance", "disparity", "height", "mist"]:
        out = tmp_path / f"{kind}.pam"
        run_tool("render", tmp_path / "raw.pfm", "-o", out, "--depth-kind", kind,
                 "--far-cutoff", 1.25, "--seed", 3, "-q")
        img = zavol.render(raw, depth_kind=kind, far_cutoff=1.25, seed=3)
        np.testing.assert_array_equal(img, read_pam(out), err_msg=kind)
        np.testing.assert_array_equal(raw, kept, err_msg=f"{kind} changed the caller's array")


def test_write_image_writes_the_tools_bytes(tmp_path):
    source = DATA / "cycles_single_zbuf.exr"
    img = zavol.render(zavol.read_depth(source), seed=11)
    for name, bits, options in [("a.png", 8, []), ("b.png", 16, ["--bits", 16]),
                                ("c.pam", 8, []), ("d.exr", 8, [])]:
        run_tool("render", source, "-o", tmp_path / f"tool_{name}", "--seed", 11, "-q", *options)
        zavol.write_image(tmp_path / name, img, bits)
        assert (tmp_path / name).read_bytes() == (tmp_path / f"tool_{name}").read_bytes(), name
    assert sorted(p.name for p in tmp_path.iterdir() if p.name.startswith(".")) == []


BASE = np.random.default_rng(9).uniform(-12.0, -4.0, (300, 401)).astype(np.float32)
# name, the depth as given, whether render must copy it (a float32 copy is 4 bytes a pixel)
LAYOUTS = [
    ("contiguous", BASE, False),
    ("every other row", BASE[::2], False),
    ("a column window", BASE[:, 17:301], False),
    ("one row of a view", BASE[::7][3:4], False),
    ("every other column", BASE[:, ::2], True),
    ("rows upside down", BASE[::-1], True),
    ("one row broadcast", np.broadcast_to(BASE[0], BASE.shape), True),
    ("column-major", np.asfortranarray(BASE), True),
    ("float64", BASE.astype(np.float64), True),
    ("big-endian", BASE.astype(">f4"), True),
    ("nested lists", BASE[:40, :50].tolist(), True),
]


@pytest.mark.parametrize("name,depth,copies", LAYOUTS, ids=[layout[0] for layout in LAYOUTS])
def test_layouts_render_alike_and_copy_only_when_they_must(name, depth, copies):
    expected = zavol.render(np.array(depth, dtype=np.float32, order="C"), seed=1)
    out = np.empty_like(expected)
    tracemalloc.start()
    try:
        assert zavol.render(depth, seed=1, out=out) is out
        peak = tracemalloc.get_traced_memory()[1]
    finally:
        tracemalloc.stop()
    np.testing.assert_array_equal(out, expected)
    copy_bytes = 4 * expected.shape[0] * expected.shape[1]
    assert (peak >= copy_bytes) == copies, f"{peak} bytes traced"


def test_patterns_of_every_layout_give_the_same_dots():
    rng = np.random.default_rng(2)
    rgb8 = rng.integers(0, 256, (60, 70, 3), dtype=np.uint8)
    rgba16 = np.concatenate([rgb8.astype(np.uint16) << 8, np.full((60, 70, 1), 0xFF00, np.uint16)],
                            axis=2)
    depth = np.full((60, 70), -10.0, np.float32)
    depth[20:40, 20:50] = -8.0
    expected = zavol.render(depth, pattern=rgba16)
    wide = np.zeros((60, 90, 4), np.uint16)
    wide[:, 5:75] = rgba16
    for pattern in [rgb8, np.asfortranarray(rgb8), wide[:, 5:75], rgba16.astype(">u2")]:
        np.testing.assert_array_equal(zavol.render(depth, pattern=pattern), expected)


def test_progress_sees_every_row_and_stops_when_asked():
    depth = np.full((40, 30), -5.0, np.float32)
    rows = []
    assert zavol.render(depth, progress=lambda row, last: rows.append((row, last))) is not None
    assert rows == [(row, 39) for row in range(40)]
    rows.clear()
    assert zavol.render(depth, progress=lambda row, last: rows.append(row) or row == 12) is None
    assert rows == list(range(13))

    def fails(row, last):
        if row == 3:
            raise ZeroDivisionError("from progress")
    with pytest.raises(ZeroDivisionError, match="from progress"):
        zavol.render(depth, progress=fails)


CTRL_C = textwrap.dedent("""
    import os, signal, sys, threading, time
    import numpy as np, zavol
    depth = np.full((2160, 3840), -10.0, np.float32)
    out = np.zeros((2160, 3840, 4), np.uint16)
    main = threading.main_thread().ident

    def interrupt(finished):
        # a real SIGINT, as a terminal sends it, once the main thread is inside render
        while not finished.is_set():
            if sys._current_frames()[main].f_lineno == LINE:
                os.kill(os.getpid(), signal.SIGINT)
                return
            time.sleep(0.0002)

    # A signal that comes after the frame is done also raises KeyboardInterrupt, so only a frame
    # left unfinished shows that render itself stopped; a busy machine may need a few tries.
    inside = False
    for attempt in range(5):
        out[:] = 0
        finished = threading.Event()
        sender = threading.Thread(target=interrupt, args=(finished,))
        try:
            sender.start()
            zavol.render(depth, out=out)  # LINE
            finished.set()
            sender.join()
            time.sleep(0.05)
        except KeyboardInterrupt:
            finished.set()
            sender.join()
            if np.count_nonzero(out[:, 0, 3]) < depth.shape[0]:
                inside = True
                break
    print("stopped inside render" if inside else "never stopped inside render")
    print(zavol.render(depth[:8, :8]).shape)
""")


def test_ctrl_c_raises_keyboard_interrupt_inside_render():
    lines = CTRL_C.splitlines()
    line = next(i for i, text in enumerate(lines, 1) if text.endswith("# LINE"))
    script = CTRL_C.replace("== LINE", f"== {line}")
    run = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                         timeout=300)
    assert run.returncode == 0, run.stderr
    assert run.stdout.split("\n")[:2] == ["stopped inside render", "(8, 8, 4)"], run.stdout


def test_threads_render_the_frames_one_thread_renders():
    depths = [BASE + offset for offset in (0.0, 1.5, 3.0)]
    alone = [zavol.render(d, seed=i) for i, d in enumerate(depths)]
    together = [None] * len(depths)

    def work(i):
        together[i] = zavol.render(depths[i], seed=i)
    threads = [threading.Thread(target=work, args=(i,)) for i in range(len(depths))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    for a, b in zip(alone, together):
        np.testing.assert_array_equal(a, b)
    # A frame's own rows on one thread or several: the same pixels.
    for count in (1, 3):
        np.testing.assert_array_equal(zavol.render(depths[1], seed=1, threads=count), alone[1])


# Memory the frame cannot have is a MemoryError, in a fresh interpreter whose address space is
# capped a little above what it uses once its arrays exist: wide rows with the viewing options
# need megabytes of working memory.
def test_memory_that_cannot_be_had_is_a_memory_error():
    script = textwrap.dedent("""
        import resource
        import numpy as np
        import zavol
        depth = np.full((2, 65535), -1.5, dtype=np.float32)
        out = np.zeros((2, 65535, 4), dtype=np.uint16)
        pages = int(open("/proc/self/statm").read().split()[0])
        cap = pages * resource.getpagesize() + 2 * 1024 * 1024
        resource.setrlimit(resource.RLIMIT_AS, (cap, resource.getrlimit(resource.RLIMIT_AS)[1]))
        try:
            zavol.render(depth, out=out, oversample=8, linking="symmetric", seed=1)
        except MemoryError:
            resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY,) * 2)
            assert zavol.render(depth, out=out, oversample=8, seed=1) is out
            raise SystemExit(0)
        raise SystemExit(3)
    """)
    result = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True)
    assert result.returncode == 0, result.stderr
