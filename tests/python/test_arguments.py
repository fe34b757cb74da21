# zavol.Settings against stored blocks and the tool's settings command, and the one table of
# arguments every call must refuse with an exception that names them.
import copy
import pickle

import numpy as np
import pytest
import zavol
from conftest import DATA, run_tool


def test_any_stored_block_round_trips_byte_for_byte():
    rng = np.random.default_rng(4)
    blocks = [rng.integers(0, 256, 56, dtype=np.uint8).tobytes() for _ in range(200)]
    blocks.append(b"\xff" * 56)  # NaN in every real, codes and booleans far out of range
    for block in blocks:
        settings = zavol.Settings.from_bytes(block)
        assert settings.to_bytes() == block
        assert pickle.loads(pickle.dumps(settings)).to_bytes() == block
        assert copy.copy(settings) == settings
    assert len(zavol.Settings().to_bytes()) == 56


def test_fields_set_in_python_give_the_block_the_tool_writes(tmp_path):
    fields = dict(near_object_depth=0.3, far_object_depth=0.85, background_depth=2.5,
                  viewing_medium="dpi", custom_dpi=300, auto_distance=False, far_distance=750.5,
                  near_distance=12.25, color1=(255, 128, 0), color2="#0A141E", ramp_mode="hsv",
                  put_guide_points=True, randomize_each_frame=False, prevent_ghosting=False)
    run_tool("settings", "-o", tmp_path / "block", "--near-object-depth", 0.3,
             "--far-object-depth", 0.85, "--background-depth", 2.5, "--medium", "dpi",
             "--dpi", 300, "--no-auto-distance", "--far-distance", 750.5, "--near-distance",
             12.25, "--color1", "FF8000", "--color2", "0A141E", "--ramp", "hsv", "--guide",
             "--no-randomize", "--no-prevent-ghosting")
    block = (tmp_path / "block").read_bytes()
    settings = zavol.Settings(**fields)
    assert settings.to_bytes() == block
    assert zavol.Settings.from_bytes(block).color2 == (10, 20, 30)
    assert eval(repr(settings), {"zavol": zavol}) == settings
    # Keyword overrides in render apply to a copy.
    depth = np.full((20, 30), -4.0, np.float32)
    np.testing.assert_array_equal(zavol.render(depth, **fields),
                                  zavol.render(depth, zavol.Settings(**fields)))
    assert zavol.Settings() == zavol.Settings.from_bytes(zavol.Settings().to_bytes())


DEPTH = np.full((16, 24), -6.0, np.float32)
SHARED = np.zeros((16, 24, 4), np.uint16)
READ_ONLY = np.zeros((16, 24, 4), np.uint16)
READ_ONLY.flags.writeable = False
S = zavol.Settings()

# the call, the exception, the words its message must hold (naming the argument)
BAD_CALLS = [
    (lambda: zavol.render(np.zeros((3, 4, 5), np.float32)), ValueError, "depth: expected a 2-D"),
    (lambda: zavol.render(np.zeros((0, 4), np.float32)), ValueError, "depth: the array is empty"),
    (lambda: zavol.render(np.zeros((1, 65536), np.float32)), ValueError, "depth: sides up to 65535"),
    (lambda: zavol.render(np.zeros((2, 2), np.complex64)), TypeError, "depth: expected real"),
    (lambda: zavol.render([["a", "b"]]), TypeError, "depth: expected real"),
    (lambda: zavol.render([[1.0], [2.0, 3.0]]), TypeError, "depth: not an array of numbers"),
    (lambda: zavol.render(None), TypeError, "depth: expected an array"),
    (lambda: zavol.render(DEPTH, {"near_object_depth": 0.3}), TypeError, "settings: expected"),
    (lambda: zavol.render(DEPTH, near_objet_depth=0.3), TypeError, "argument 'near_objet_depth'"),
    (lambda: zavol.render(DEPTH, near_object_depth=1.5), ValueError, "near_object_depth: 1.5"),
    (lambda: zavol.render(DEPTH, depth_kind="depth"), ValueError, "depth_kind: 'depth'"),
    (lambda: zavol.render(DEPTH, far_cutoff=0), ValueError, "far_cutoff: 0 is not above 0"),
    (lambda: zavol.render(DEPTH, screen=(0, 1080)), ValueError, "screen: 0 is outside 1..65535"),
    (lambda: zavol.render(DEPTH, screen="1920x1080"), TypeError, "screen: expected (width, height)"),
    (lambda: zavol.render(DEPTH, seed=-1), ValueError, "seed: -1 is outside 0..4294967295"),
    (lambda: zavol.render(DEPTH, seed=1.5), TypeError, "seed: expected an integer"),
    (lambda: zavol.render(DEPTH, dots="random"), ValueError, "dots: 'random' is not one of 'stream', 'stable'"),
    (lambda: zavol.render(DEPTH, dot_size=65), ValueError, "dot_size: 65 is outside 1..64"),
    (lambda: zavol.render(DEPTH, anchor="center"), ValueError, "anchor: 'center' is not one of 'auto', 'left', 'centre'"),
    (lambda: zavol.render(DEPTH, view=1), TypeError, "view: expected a str"),
    (lambda: zavol.render(DEPTH, oversample=0), ValueError, "oversample: 0 is outside 1..8"),
    (lambda: zavol.render(DEPTH, threads=-1), ValueError, "threads: -1 is outside 0..256"),
    (lambda: zavol.render(DEPTH, threads="2"), TypeError, "threads: expected an integer"),
    (lambda: zavol.render(DEPTH, linking="Symmetric"), ValueError, "linking: 'Symmetric'"),
    (lambda: zavol.render(DEPTH, pattern=np.zeros((4, 4), np.uint8)), ValueError, "pattern: expected a (height, width, 3 or 4)"),
    (lambda: zavol.render(DEPTH, pattern=np.zeros((4, 4, 3), np.float32)), TypeError, "pattern: expected uint8 or uint16"),
    (lambda: zavol.render(DEPTH, pattern=np.zeros((0, 4, 3), np.uint8)), ValueError, "pattern: the array is empty"),
    (lambda: zavol.render(DEPTH, progress=5), TypeError, "progress: expected a callable"),
    (lambda: zavol.render(DEPTH, out=np.zeros((16, 24, 3), np.uint16)), ValueError, "out: expected shape (16, 24, 4)"),
    (lambda: zavol.render(DEPTH, out=np.zeros((16, 24, 4), np.float32)), TypeError, "out: expected dtype uint16"),
    (lambda: zavol.render(DEPTH, out=READ_ONLY), ValueError, "out: the array is read-only"),
    (lambda: zavol.render(DEPTH, out=np.zeros((16, 48, 4), np.uint16)[:, ::2]), ValueError, "out: pixels must be 8 bytes apart"),
    (lambda: zavol.render(DEPTH, out=SHARED, pattern=SHARED), ValueError, "out: shares memory"),
    (lambda: setattr(S, "near_object_depth", "0.3"), TypeError, "near_object_depth: expected a number"),
    (lambda: setattr(S, "background_depth", 101), ValueError, "background_depth: 101 is outside 0..100"),
    (lambda: setattr(S, "custom_dpi", 150.0), TypeError, "custom_dpi: expected an integer"),
    (lambda: setattr(S, "custom_dpi", 0), ValueError, "custom_dpi: 0 is outside 1..2400"),
    (lambda: setattr(S, "auto_distance", 2), ValueError, "auto_distance: 2 is outside 0..1"),
    (lambda: setattr(S, "auto_distance", "yes"), TypeError, "auto_distance: expected True or False"),
    (lambda: setattr(S, "color1", (1, 2, 256)), ValueError, "color1: channel 256 is outside 0..255"),
    (lambda: setattr(S, "color2", "red"), ValueError, "color2: 'red' is not RRGGBB"),
    (lambda: setattr(S, "viewing_medium", "a6"), ValueError, "viewing_medium: 'a6' is not one of"),
    (lambda: setattr(S, "ramp_mode", 1.0), TypeError, "ramp_mode: expected 'rgb', 'hsv' or the code"),
    (lambda: zavol.Settings(dpi=300), TypeError, "argument 'dpi'"),
    (lambda: zavol.Settings.from_bytes(bytes(55)), ValueError, "from_bytes: a settings block is 56 bytes, not 55"),
    (lambda: zavol.Settings.from_bytes(56), TypeError, "from_bytes: expected a bytes-like"),
    (lambda: zavol.read_depth(DATA / "missing.exr"), zavol.FileError, "missing.exr: "),
    (lambda: zavol.read_depth(DATA / "README.md"), OSError, "README.md: "),
    (lambda: zavol.read_depth(DATA / "cycles_single_zbuf.exr", channel="Q"), zavol.FileError, "Q"),
    (lambda: zavol.read_depth(DATA / "test-1.pfm", "far"), ValueError, "depth_kind: 'far'"),
    (lambda: zavol.read_depth(3), TypeError, "path: expected a str or os.PathLike"),
    (lambda: zavol.write_image("x.jpg", SHARED), ValueError, "path: 'x.jpg' does not end in"),
    (lambda: zavol.write_image("x.png", SHARED, 12), ValueError, "bits: 12 is neither 8 nor 16"),
    (lambda: zavol.write_image("x.png", SHARED, compression=10), ValueError, "compression: 10 is outside 0..9"),
    (lambda: zavol.write_image("x.png", DEPTH), ValueError, "img: expected a (height, width, 3 or 4)"),
    (lambda: zavol.write_image("/nonexistent-folder/x.png", SHARED), zavol.FileError, "x.png"),
]


@pytest.mark.parametrize("call,error,words", BAD_CALLS, ids=[row[2] for row in BAD_CALLS])
def test_bad_arguments_raise_exceptions_that_name_them(call, error, words):
    with pytest.raises(error) as raised:
        call()
    assert words in str(raised.value)
