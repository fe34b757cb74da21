# zavol.VideoWriter and zavol.fields(): a video written from Python holds the frames of the
# tool's video of the same depth, exactly (FFV1), at the same rate; refused arguments name themselves and leave no file; the field
# table agrees with the tool's options and with zavol.Settings.
import fractions
import os
import subprocess

import numpy as np
import pytest
import zavol
from conftest import run_tool


def probe(path):
    """The video's rate and its frames decoded to 8-bit RGB."""
    rate = subprocess.run(["ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                           "stream=r_frame_rate", "-of", "csv=p=0", path],
                          capture_output=True, text=True, check=True).stdout.strip()
    pixels = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt",
                             "rgb24", "-"], capture_output=True, check=True).stdout
    return rate, pixels


@pytest.fixture(scope="module")
def depth_frames(tmp_path_factory):
    folder = tmp_path_factory.mktemp("video")
    run_tool("scene", "--size", "96x54", "--frames", "1-3", "-o", folder / "depth_#.exr")
    return folder


def test_video_equals_the_tools(depth_frames):
    folder = depth_frames
    run_tool("render", folder / "depth_#.exr", "--frames", "1-3", "--seed", "7", "--fit",
             "-o", folder / "tool.mkv")
    with zavol.VideoWriter(folder / "python.mkv", fps=24) as video:
        for frame in (1, 2, 3):
            depth = zavol.read_depth(folder / f"depth_{frame}.exr")
            # --fit's dpi for a 96-pixel width: the background repeats eight times across.
            video.write(zavol.render(depth, viewing_medium="dpi", custom_dpi=round(96 / 8 / 1.4),
                                     seed=7 + frame))
    assert video.frames == 3 and video.closed
    run = run_tool("render", folder / "depth_1.exr", "--fit", "-v", "-o", folder / "one.png")
    assert f"{round(96 / 8 / 1.4)}" in run.stderr  # the dpi --fit chose, as assumed above
    rate, pixels = probe(folder / "python.mkv")
    assert (rate, pixels) == probe(folder / "tool.mkv")
    assert rate == "24/1" and len(pixels) == 3 * 96 * 54 * 3


FRAME = np.zeros((54, 96, 3), np.uint8)

BAD = [
    ({"fps": 0}, ValueError, "fps"),
    ({"fps": True}, TypeError, "fps"),
    ({"fps": "fast"}, ValueError, "fps"),
    ({"format": "avi"}, ValueError, "format"),
    ({"crf": 60}, ValueError, "crf"),
    ({"crf": 1.5}, TypeError, "crf"),
    ({"codec": "no-such-encoder"}, ValueError, "no-such-encoder"),
    ({"frames": [FRAME, FRAME[:10]]}, ValueError, "img: the frame is 96x10"),
    ({"frames": [FRAME.astype(np.float32)]}, TypeError, "img"),
    ({"frames": []}, ValueError, "no frames"),
]


@pytest.mark.parametrize("arguments,error,words", BAD, ids=[str(b[0])[:40] for b in BAD])
def test_refused_arguments_leave_no_file(tmp_path, arguments, error, words):
    arguments = dict(arguments)
    frames = arguments.pop("frames", [FRAME])
    path = tmp_path / "out.mp4"
    with pytest.raises(error, match=words):
        with zavol.VideoWriter(path, **arguments) as video:
            for frame in frames:
                video.write(frame)
    assert os.listdir(tmp_path) == []


def test_rates_as_the_tool_reads_them(tmp_path):
    # As the tool's --fps reads them: 29.97 is 2997/100; NTSC's rate is given exactly.
    made = []
    for index, fps in enumerate((29.97, "30000/1001", fractions.Fraction(30000, 1001))):
        path = tmp_path / f"{index}.mkv"
        with zavol.VideoWriter(path, fps=fps) as video:
            video.write(FRAME)
        made.append(probe(path)[0])
    assert made == ["2997/100", "30000/1001", "30000/1001"]


def test_fields_agree_with_the_tool_and_settings():
    fields = zavol.fields()
    help_text = run_tool("help", "render").stdout
    defaults = zavol.Settings()
    for field in fields:
        # The tool takes the screen as one --screen WxH.
        if field["name"] not in ("screen_width", "screen_height"):
            assert f"--{field['option']}" in help_text, field["name"]
        if field["place"] == "settings":
            value = getattr(defaults, field["name"])
            expected = field["default"]
            if field["type"] == "choice":
                expected = field["choices"][field["choice_values"].index(int(expected))]
            elif field["type"] == "colour":
                expected = tuple((int(expected) >> s) & 0xFF for s in (0, 8, 16))
            assert value == expected, field["name"]
