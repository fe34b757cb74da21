# The add-on inside Blender: its stereograms equal the zavol tool's for the same depth and
# settings, frames rendered by separate processes equal one run's, an animation becomes one
# video, and every failure is one report while the render's own output is still written.
import os
import subprocess
import zipfile

import numpy as np
import pytest
import zavol
from conftest import install, run_tool, zavol_lines

# Settings off their defaults, as the add-on stores them and as the tool takes them.
SETTINGS = {"enabled": True, "keep_depth": True, "seed": 5, "viewing_medium": "dpi",
            "custom_dpi": 20, "near_object_depth": 0.3, "ramp_mode": "hsv", "dot_size": 2,
            "prevent_ghosting": False}
TOOL_FLAGS = ["--medium", "dpi", "--dpi", "20", "--near-object-depth", "0.3", "--ramp", "hsv",
              "--dot-size", "2", "--no-prevent-ghosting"]
FRAMES = (1, 2, 3)


@pytest.fixture(scope="module")
def animation(blender, tmp_path_factory):
    """The scene, rendered as one -a run and again as -f 1 plus -s 2 -e 3 -a."""
    root = tmp_path_factory.mktemp("animation")
    scene = blender.scene(root / "scene", settings=SETTINGS)
    blender.run(scene, "-o", root / "one/out_####", "-a")
    blender.run(scene, "-o", root / "two/out_####", "-f", "1")
    blender.run(scene, "-o", root / "two/out_####", "-s", "2", "-e", "3", "-a")
    return root, scene


def test_frames_equal_the_tool_and_a_farm(animation):
    root, _ = animation
    pictures = []
    for frame in FRAMES:
        name = f"out_{frame:04d}"
        one = (root / "one" / f"{name}_stereogram.png").read_bytes()
        # The render's own output is written as ever, beside the stereogram.
        assert (root / "one" / f"{name}.png").is_file()
        assert (root / "two" / f"{name}_stereogram.png").read_bytes() == one, name
        # Stream dots take the run's seed plus the frame number, as the tool's sequences do.
        tool = root / f"tool_{frame}.png"
        run_tool("render", root / "one" / f"{name}_stereogram_depth.exr", "-o", tool,
                 "--seed", 5 + frame, *TOOL_FLAGS)
        assert tool.read_bytes() == one, f"frame {frame}: the add-on's picture is not the tool's"
        pictures.append(one)
    assert len(set(pictures)) == len(FRAMES)


def test_animation_as_one_video(blender, animation):
    root, scene = animation
    video = root / "video" / "stereo.mkv"
    expr = ("import bpy; z = bpy.context.scene.zavol; z.output = 'VIDEO'; "
            f"z.video_format = 'mkv'; z.filepath = {str(video)!r}")
    blender.run(scene, "--python-expr", expr, "-o", root / "video/out_####", "-a")
    probe = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                            "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", video],
                           capture_output=True, text=True, check=True)
    assert probe.stdout.strip() == str(len(FRAMES))
    # FFV1 keeps the 8-bit dots exactly: the video's frames are the pictures of the -a run.
    raw = subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-f", "rawvideo", "-pix_fmt",
                          "rgb24", "-"], capture_output=True, check=True).stdout
    decoded = np.frombuffer(raw, np.uint8).reshape(len(FRAMES), 90, 160, 3)
    for index, frame in enumerate(FRAMES):
        png = zavol.read_image(root / "one" / f"out_{frame:04d}_stereogram.png")
        assert np.array_equal(decoded[index], (png[..., :3] >> 8).astype(np.uint8)), frame


# Each problem: the scene's layout, the words its one report must hold, whether Blender still
# writes its own render (without a camera there is none to write) and whether the stereogram is
# written (after a warning it is).
FAILURES = [
    ("compositor without Z", {"compositor_z_unlinked": True}, "Z input is not linked", True,
     False),
    ("missing pattern", {"pattern_file": "PATTERN", "pattern_removed": True},
     "pattern image", True, False),
    ("unwritable folder", {"settings": {"filepath": "BLOCKED/st_####.png"}}, "st_0001.png",
     True, False),
    ("out of range through the API", {"raw_settings": {"near_object_depth": 5.0}},
     "near_object_depth", True, False),
    ("near not nearer than far", {"settings": {"auto_distance": False, "near_distance": 50.0,
                                               "far_distance": 10.0}}, "near", True, False),
    ("no camera", {"no_camera": True}, "no camera", False, False),
    ("too few repeats", {"settings": {"viewing_medium": "15in"}}, "warning: ", True, True),
]


@pytest.mark.parametrize("name,layout,words,rendered,made", FAILURES, ids=[f[0] for f in FAILURES])
def test_problems_are_reported_and_the_render_kept(blender, tmp_path, name, layout, words,
                                                   rendered, made):
    # A medium on which the 160-pixel frame has room for repeats: no warning beside the report.
    layout = {**layout, "settings": {"enabled": True, "viewing_medium": "dpi", "custom_dpi": 20,
                                 **layout.get("settings", {})}}
    blocker = tmp_path / "BLOCKED"
    blocker.write_text("a file where a folder should be")
    if "filepath" in layout["settings"]:
        layout["settings"]["filepath"] = str(tmp_path / layout["settings"]["filepath"])
    if layout.get("pattern_file") == "PATTERN":
        pattern = np.zeros((90, 160, 3), np.uint8)
        zavol.write_image(tmp_path / "pattern.png", pattern)
        layout["pattern_file"] = str(tmp_path / "pattern.png")
    scene = blender.scene(tmp_path, **layout)
    run = blender.run(scene, "-f", "1", check=False)
    reports = zavol_lines(run)
    assert len(reports) == 1 and words in reports[0], (name, reports, run.stderr[-1500:])
    assert (tmp_path / "out_0001.png").is_file() == rendered, name
    assert (tmp_path / "out_0001_stereogram.png").is_file() == made, name


def test_a_module_that_cannot_load_is_reported(tmp_path):
    # The add-on's zip with its zavol module damaged: it still installs, and each render says
    # why there is no stereogram, once, while Blender writes its own output.
    broken = tmp_path / "broken.zip"
    with zipfile.ZipFile(os.environ["ZAVOL_BLENDER_ADDON"]) as good, \
            zipfile.ZipFile(broken, "w") as bad:
        for entry in good.infolist():
            damaged = entry.filename.endswith(".so") and "/zavol." in entry.filename
            bad.writestr(entry, b"not a shared object" if damaged else good.read(entry))
    session, seen = install(tmp_path / "home", broken)
    assert seen["enabled"] and "near_object_depth" not in seen["fields"], seen
    scene = session.scene(tmp_path / "scene", settings={"enabled": True})
    run = session.run(scene, "-f", "1")
    reports = zavol_lines(run)
    assert len(reports) == 1 and "cannot load" in reports[0], reports
    assert (tmp_path / "scene" / "out_0001.png").is_file()
