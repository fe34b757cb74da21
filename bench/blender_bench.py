#!/usr/bin/python3
"""The Blender add-on's cost per 1920x1080 frame beside Cycles' render time of the same frame.

    /usr/bin/python3 bench/blender_bench.py [build/native] [FRAMES] [SAMPLES]

Installs the add-on zip of the build tree into a scratch Blender user folder, builds a scene (a
cube moving over a tilted plane, Cycles on the CPU, denoising off, SAMPLES samples, default 16)
and renders FRAMES frames (default 5) with `blender -b scene.blend -a`. Inside Blender the
add-on's handlers are timed from outside: the add-on's cost is its render_post handler (saving
the depth, reading it, the stereogram) plus its render_write handler (writing the PNG); Cycles'
time is from render_pre to the first render_post handler, which includes Blender writing its
own frame. Prints each frame's figures, then the medians over the frames after the first.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

try:
    import bpy
except ImportError:
    bpy = None


def inside_blender(report_path):
    """Wraps the add-on's handlers and its calls with timers, writing one JSON line a frame."""
    engine = sys.modules["zavol_stereogram.engine"]
    frames = sys.modules["zavol_stereogram.frames"]
    zavol, _ = engine.load()
    parts = {}
    marks = {}

    def timed(owner, name, key):
        inner = getattr(owner, name)

        def wrapper(*args, **kwargs):
            start = time.perf_counter()
            try:
                return inner(*args, **kwargs)
            finally:
                parts[key] = parts.get(key, 0.0) + time.perf_counter() - start
        setattr(owner, name, wrapper)

    timed(engine, "save_depth", "save_depth")
    timed(engine, "read_frame_depth", "read_depth")
    timed(zavol, "render", "render")
    timed(zavol, "write_image", "write_png")

    def mark(name):
        def handler(scene, *args):
            marks[name] = time.perf_counter()
            if name == "write_end":
                line = {
                    "frame": scene.frame_current,
                    "cycles_ms": 1000 * (marks["post_start"] - marks["pre"]),
                    "addon_ms": 1000 * ((marks["post_end"] - marks["post_start"]) +
                                        (marks["write_end"] - marks["write_start"])),
                    **{k + "_ms": 1000 * v for k, v in parts.items()},
                }
                parts.clear()
                with open(report_path, "a") as out:
                    out.write(json.dumps(line) + "\n")
        return handler

    handlers = bpy.app.handlers
    handlers.render_pre.append(mark("pre"))
    handlers.render_post.insert(0, mark("post_start"))
    handlers.render_post.append(mark("post_end"))
    handlers.render_write.insert(0, mark("write_start"))
    handlers.render_write.append(mark("write_end"))
    assert frames.on_render_post in handlers.render_post


SCENE = """
import bpy, math, sys
scene = bpy.context.scene
scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = int(sys.argv[-2])
scene.cycles.use_denoising = False
scene.render.resolution_x, scene.render.resolution_y = 1920, 1080
scene.render.resolution_percentage = 100
scene.render.filepath = sys.argv[-3] + "/out_####"
scene.frame_start, scene.frame_end = 1, int(sys.argv[-1])
bpy.ops.mesh.primitive_plane_add(size=30, location=(0, 0, -1), rotation=(math.radians(10), 0, 0))
cube = bpy.data.objects["Cube"]
for frame, x in ((1, -1.5), (scene.frame_end, 1.5)):
    cube.location.x = x
    cube.keyframe_insert("location", frame=frame)
scene.zavol.enabled = True
scene.zavol.viewing_medium = "a4"
bpy.ops.wm.save_as_mainfile(filepath=sys.argv[-3] + "/scene.blend")
"""

INSTALL = """
import bpy, sys
bpy.ops.preferences.addon_install(filepath=sys.argv[-1], overwrite=True)
bpy.ops.preferences.addon_enable(module="zavol_stereogram")
bpy.ops.wm.save_userpref()
"""


def main():
    build = Path(sys.argv[1] if len(sys.argv) > 1 else "build/native").resolve()
    frame_count = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    samples = int(sys.argv[3]) if len(sys.argv) > 3 else 16
    addon = build / "blender" / "zavol_stereogram.zip"
    if not addon.is_file():
        sys.exit(f"blender_bench: no {addon}; build the zavol_blender_addon target")
    with tempfile.TemporaryDirectory(prefix="zavol-blender-bench-") as work:
        env = dict(os.environ, BLENDER_USER_CONFIG=f"{work}/config",
                   BLENDER_USER_SCRIPTS=f"{work}/scripts")
        env.pop("PYTHONPATH", None)

        def blender(*args):
            subprocess.run(["blender", "-b", *map(str, args)], env=env, check=True,
                           stdout=subprocess.DEVNULL)

        Path(work, "install.py").write_text(INSTALL)
        Path(work, "scene.py").write_text(SCENE)
        blender("--factory-startup", "--python", f"{work}/install.py", "--", addon)
        blender("--python", f"{work}/scene.py", "--", work, samples, frame_count)
        report = Path(work, "report.jsonl")
        expr = (f"import sys; sys.path.insert(0, {str(Path(__file__).parent)!r}); "
                f"import blender_bench; blender_bench.inside_blender({str(report)!r})")
        blender(f"{work}/scene.blend", "--python-expr", expr, "-a")
        lines = [json.loads(l) for l in report.read_text().splitlines()]
    keys = [k for k in lines[0] if k.endswith("_ms")]
    print(f"1920x1080, Cycles CPU {samples} samples, load {os.getloadavg()[0]:.2f}")
    print("frame " + " ".join(f"{k[:-3]:>11}" for k in keys))
    for line in lines:
        print(f"{line['frame']:5d} " + " ".join(f"{line.get(k, 0):11.1f}" for k in keys))
    later = lines[1:] or lines
    print("median" + " ".join(f"{statistics.median(l.get(k, 0) for l in later):11.1f}"
                              for k in keys) + "  (frames after the first, ms)")


if __name__ == "__main__" and bpy is None:
    main()
