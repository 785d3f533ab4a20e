"""Builds the compiled module with the project's CMake for the interpreter running pip."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = Path(__file__).resolve().parent.parent


def project_version():
    """The version of project(kestrium VERSION x.y) in the top CMakeLists.txt."""
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(kestrium VERSION ([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        subprocess.check_call([
            "cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
            "-DKT_BUILD_GUI=OFF", "-DKT_BUILD_BENCH=OFF", "-DKT_BUILD_PYTHON=ON",
            f"-DPython_EXECUTABLE={sys.executable}",
        ])
        subprocess.check_call(["cmake", "--build", str(build), "--target", "_kestrium",
                               "-j", str(os.cpu_count() or 1)])
        built = next((build / "python" / "kestrium").glob("_kestrium*"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(version=project_version(), ext_modules=[Extension("kestrium._kestrium", sources=[])],
      cmdclass={"build_ext": CMakeBuild})
