# Builds the `zavol` extension for pip: configures the checkout this folder belongs to with CMake
# (tests and benchmarks off), builds only the module's target for the interpreter running pip,
# and hands the built file to setuptools. Needs no earlier build tree and no network.
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent.parent


def version():
    text = (ROOT / "render" / "version.h").read_text()
    parts = [re.search(rf"#define ZAVOL_VERSION_{p} (\d+)", text).group(1)
             for p in ("MAJOR", "MINOR", "PATCH")]
    return ".".join(parts)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        build.mkdir(parents=True, exist_ok=True)
        configure = ["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
                     "-DCMAKE_BUILD_TYPE=Release", "-DZAVOL_TESTS=OFF", "-DZAVOL_BENCH=OFF",
                     f"-DPython3_EXECUTABLE={sys.executable}"]
        subprocess.run(configure, check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "zavol_python", "-j", jobs],
                       check=True)
        built = sorted((build / "python").glob("zavol*.so"))
        if len(built) != 1:
            raise RuntimeError(f"expected one zavol module in {build / 'python'}, found {built}")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


setup(
    name="zavol",
    version=version(),
    description="Random-dot autostereograms from depth maps, with NumPy arrays in and out",
    author="the zavol authors",
    python_requires=">=3.9",
    install_requires=["numpy"],
    ext_modules=[Extension("zavol", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    zip_safe=False,
)
