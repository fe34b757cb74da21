# zavol.render refuses, warns and reads what the zavol tool refuses, warns about and reads: the
# settings that cannot make a picture, the frames that cannot be seen in relief, --fit, and
# integer height maps read as the PNG reader reads them.
import struct
import subprocess
import warnings
import zlib

import numpy as np
import pytest
import zavol
from conftest import read_pam, required_program, run_tool, write_pfm


def run_tool_failing(*args):
    """Runs the built zavol program, which must fail."""
    run = subprocess.run([required_program("ZAVOL_BIN"), *map(str, args)], capture_output=True, text=True)
    assert run.returncode != 0, f"zavol {' '.join(map(str, args))} succeeded"
    return run

SCENE = np.full((40, 300), -1e30, np.float32)
SCENE[10:30, 100:200] = np.linspace(-3.0, -2.0, 100, dtype=np.float32)

NAN_BLOCK = struct.pack("<I", 0x7FC00000) + zavol.Settings().to_bytes()[4:]  # near_object_depth

# settings the tool refuses (a block as the host stores it can hold a NaN); the ValueError's words
REFUSED = [
    (zavol.Settings(background_depth=0.0), "background_depth is 0"),
    (zavol.Settings.from_bytes(NAN_BLOCK), "near_object_depth is invalid (0x7fc00000: not a number)"),
    (zavol.Settings(auto_distance=False, near_distance=9.0, far_distance=3.0),
     "near_distance 9 is not nearer than far_distance 3"),
]


@pytest.mark.parametrize("settings,words", REFUSED, ids=[row[1].split(" ")[0] for row in REFUSED])
def test_settings_the_tool_refuses_raise_value_error(settings, words, tmp_path):
    (tmp_path / "s.bin").write_bytes(settings.to_bytes())
    write_pfm(tmp_path / "d.pfm", SCENE)
    tool = run_tool_failing("render", tmp_path / "d.pfm", "-o", tmp_path / "o.pam", "--settings", tmp_path / "s.bin")
    assert "cannot make a picture" in tool.stderr
    with pytest.raises(ValueError) as raised:
        zavol.render(SCENE, settings)
    assert words in str(raised.value)


def png_grey(path, heights):
    """A grey PNG of uint8 or uint16 samples, written here (not through the module under test)."""
    height, width = heights.shape
    bits = 8 if heights.dtype == np.uint8 else 16
    rows = heights.astype(">u1" if bits == 8 else ">u2")
    raw = b"".join(b"\0" + row.tobytes() for row in rows)
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    path.write_bytes(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, bits, 0, 0, 0, 0))
                     + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


@pytest.mark.parametrize("dtype", [np.uint8, np.uint16])
def test_integer_heights_render_as_the_tool_renders_the_same_png(dtype, tmp_path):
    top = np.iinfo(dtype).max
    heights = np.zeros((41, 130), dtype)
    heights[8:30, 30:100] = np.linspace(top // 3, top, 70).astype(dtype)
    png_grey(tmp_path / "h.png", heights)
    run_tool("render", tmp_path / "h.png", "-o", tmp_path / "tool.pam", "--seed", 4, "--fit", "-q")
    with warnings.catch_warnings():
        warnings.simplefilter("error")  # the tool said nothing either
        img = zavol.render(heights, seed=4, fit=True)
    np.testing.assert_array_equal(img, read_pam(tmp_path / "tool.pam"))
    with pytest.raises(ValueError, match="holds heights"):
        zavol.render(heights, depth_kind="host")


def test_warnings_are_the_tools_and_fit_silences_the_fusing_one(tmp_path):
    box = np.zeros((180, 320), np.float32)  # boxes of heights 0.4 and 0.8 on an empty background
    box[50:130, 40:120] = 0.4
    box[50:130, 180:260] = 0.8
    cases = [
        (np.full((20, 300), -1e30, np.float32), "host", "no pixel lies in front of the background"),
        (SCENE, "host", "too few to fuse"),
        (box, "height", "and merges with the background; set "),
    ]
    for depth, kind, words in cases:
        write_pfm(tmp_path / "d.pfm", depth)
        tool = run_tool("render", tmp_path / "d.pfm", "-o", tmp_path / "o.pam", "-q", "--depth-kind", kind)
        assert words in tool.stderr
        with pytest.warns(zavol.StereogramWarning, match=words):
            zavol.render(depth, seed=1, depth_kind=kind)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        zavol.render(SCENE, seed=1, fit=True)
    with pytest.raises(ValueError, match="fit: chooses the dpi itself"):
        zavol.render(SCENE, fit=True, custom_dpi=72)
