# Shared by the Python module's tests: the built zavol tool, the golden scenes as files, and
# plain readers and writers of PAM and PFM that do not go through the module under test.
# CTest sets ZAVOL_BIN, ZAVOL_GOLDEN_FILES and ZAVOL_DATA_DIR, and PYTHONPATH to the module.
import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

DATA = Path(os.environ.get("ZAVOL_DATA_DIR", Path(__file__).resolve().parent.parent / "data"))


def required_program(variable):
    path = os.environ.get(variable)
    if not path or not os.access(path, os.X_OK):
        pytest.fail(f"{variable} must name the built program (the CTest test sets it)")
    return path


def run_tool(*args):
    """Runs the built zavol program; fails the test with its stderr when it fails."""
    run = subprocess.run([required_program("ZAVOL_BIN"), *map(str, args)],
                         capture_output=True, text=True)
    assert run.returncode == 0, f"zavol {' '.join(map(str, args))}: {run.stderr}"
    return run


def read_pam(path):
    """A PAM file's pixels as a (height, width, depth) uint16 array (MAXVAL 65535)."""
    data = Path(path).read_bytes()
    end = data.index(b"ENDHDR\n") + len(b"ENDHDR\n")
    fields = dict(line.split(" ", 1) for line in data[:end].decode().splitlines()[1:-1])
    width, height, depth = int(fields["WIDTH"]), int(fields["HEIGHT"]), int(fields["DEPTH"])
    assert fields["MAXVAL"] == "65535"
    return np.frombuffer(data[end:], dtype=">u2").reshape(height, width, depth).astype(np.uint16)


def write_pfm(path, values):
    """A grey PFM: little-endian (negative scale), rows stored bottom-up."""
    height, width = values.shape
    header = f"Pf\n{width} {height}\n-1.0\n".encode()
    Path(path).write_bytes(header + np.ascontiguousarray(values[::-1], dtype="<f4").tobytes())


def fnv1a64(pixels):
    """The golden scenes' digest: FNV-1a 64 over every channel as little-endian bytes."""
    digest = 0xcbf29ce484222325
    for byte in pixels.astype("<u2").tobytes():
        digest = ((digest ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return digest


@pytest.fixture(scope="session")
def golden(tmp_path_factory):
    """The golden cases: (name, digest, folder with NAME.pfm, NAME.bin, NAME_pattern.pam, screen)."""
    folder = tmp_path_factory.mktemp("golden")
    run = subprocess.run([required_program("ZAVOL_GOLDEN_FILES"), str(folder)],
                         capture_output=True, text=True, check=True)
    cases = []
    for line in run.stdout.splitlines():
        name, digest, pattern, width, height = line.split()
        cases.append((name, int(digest, 16), pattern == "1", (int(width), int(height)), folder))
    assert len(cases) >= 5
    return cases
