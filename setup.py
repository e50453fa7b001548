"""Builds the extension qev._qev with the project's CMake (the target _qev
alone) and installs it beside the package python/qev."""

import os
import re
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent


class CMakeExtension(Extension):
    def __init__(self, name):
        super().__init__(name, sources=[])


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        module_dir = Path(self.get_ext_fullpath(ext.name)).resolve().parent
        build_dir = Path(self.build_temp).resolve() / "cmake"
        build_dir.mkdir(parents=True, exist_ok=True)
        jobs = os.environ.get("QEV_BUILD_JOBS", "2")
        subprocess.run(
            ["cmake", "-S", str(ROOT), "-B", str(build_dir), "-DCMAKE_BUILD_TYPE=Release",
             "-DQEV_PYTHON=ON", "-DQEV_TESTS=OFF", f"-DPython_EXECUTABLE={sys.executable}",
             f"-DQEV_PYTHON_MODULE_DIR={module_dir}"],
            check=True)
        subprocess.run(["cmake", "--build", str(build_dir), "--target", "_qev", "-j", jobs],
                       check=True)


def version():
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(qev VERSION ([0-9.]+)", text).group(1)


# setuptools' own folder, apart from the build/ of make and ctest.
setup(version=version(), ext_modules=[CMakeExtension("qev._qev")],
      cmdclass={"build_ext": CMakeBuild}, options={"build": {"build_base": "build-python"}})
