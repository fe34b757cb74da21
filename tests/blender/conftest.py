# Shared by the Blender add-on's tests: Debian's blender with the add-on installed into a
# scratch user folder (never the machine's own), scenes built by make_scene.py, and the zavol
# tool. CTest sets ZAVOL_BLENDER, ZAVOL_BLENDER_ADDON, ZAVOL_BIN and PYTHONPATH.
import json
import os
import subprocess
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent


def required_file(variable, what):
    path = os.environ.get(variable, "")
    if not path or not os.path.isfile(path):
        pytest.fail(f"{variable}={path!r}: {what}")
    return path


def blender_program():
    return required_file("ZAVOL_BLENDER", "no blender program; install Debian's blender "
                                          "(scripts/setup) and configure again")


class Blender:
    """blender -b with the add-on installed in a user folder of its own."""

    def __init__(self, home):
        self.env = dict(os.environ, BLENDER_USER_CONFIG=str(home / "config"),
                        BLENDER_USER_SCRIPTS=str(home / "scripts"))
        self.env.pop("PYTHONPATH", None)  # Blender must find the zip's own zavol module

    def run(self, *args, check=True):
        run = subprocess.run([blender_program(), "-b", *map(str, args)], env=self.env,
                             capture_output=True, text=True, timeout=300)
        if check:
            assert run.returncode == 0, f"blender {args}: {run.stdout[-2000:]}{run.stderr}"
        return run

    def scene(self, folder, **layout):
        """Builds the test scene with layout's settings into folder/scene.blend."""
        folder.mkdir(parents=True, exist_ok=True)
        layout.setdefault("render_output", str(folder / "out_####"))
        layout["blend"] = str(folder / "scene.blend")
        (folder / "layout.json").write_text(json.dumps(layout))
        self.run("--python", HERE / "make_scene.py", "--", folder / "layout.json")
        return folder / "scene.blend"


def install(home, addon):
    """Blender with the add-on zip installed and enabled in background mode, in its own user
    folder, and what Blender then sees."""
    session = Blender(home)
    run = session.run("--factory-startup", "--python", HERE / "install_addon.py", "--", addon)
    lines = [l for l in run.stdout.splitlines() if l.startswith("ADDON ")]
    assert lines, run.stdout + run.stderr
    return session, json.loads(lines[-1][len("ADDON "):])


@pytest.fixture(scope="session")
def blender(tmp_path_factory):
    """Blender with the add-on built by this tree."""
    addon = required_file("ZAVOL_BLENDER_ADDON", "the add-on zip is not built")
    session, seen = install(tmp_path_factory.mktemp("blender-home"), addon)
    assert seen["loaded"] and seen["enabled"] and seen["panel"], seen
    assert {"enabled", "near_object_depth", "viewing_medium", "dots", "far_cutoff"} <= set(
        seen["fields"]), seen["fields"]
    return session


def run_tool(*args):
    tool = required_file("ZAVOL_BIN", "the zavol tool is not built")
    run = subprocess.run([tool, *map(str, args)], capture_output=True, text=True)
    assert run.returncode == 0, f"zavol {args}: {run.stderr}"
    return run


def zavol_lines(run):
    """The add-on's reports in a Blender run's output."""
    return [line for line in (run.stdout + run.stderr).splitlines() if line.startswith("zavol: ")]
