"""Builds the compiled module with the project's CMake for the interpreter running pip.

The build runs offline: it needs setuptools and wheel in the interpreter (the build runs
without isolation), cmake, a C++20 compiler, pybind11's CMake files and the interpreter's
headers. What is missing is said before anything is built.
"""

import importlib.util
import os
import re
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

SOURCE = Path(__file__).resolve().parent.parent


def _missing():
    """What the build needs and this interpreter or machine lacks, one line each."""
    debian = sys.executable.startswith("/usr/bin/")
    needs = []
    for module, package in (("setuptools", "python3-setuptools"), ("wheel", "python3-wheel")):
        if importlib.util.find_spec(module) is None:
            needs.append(f"the Python package {module} in this interpreter"
                         + (f" (Debian {package})" if debian else ""))
    if not shutil.which("cmake"):
        needs.append("cmake 3.25 or later on PATH (Debian cmake)")
    include = sysconfig.get_paths().get("include") or ""
    if not Path(include, "Python.h").exists():
        needs.append(f"the headers of this Python ({include}/Python.h; Debian python3-dev)")
    if importlib.util.find_spec("pybind11") is None and not any(
            Path(prefix, "pybind11Config.cmake").exists()
            for prefix in ("/usr/lib/cmake/pybind11", "/usr/share/cmake/pybind11",
                           "/usr/local/share/cmake/pybind11")):
        needs.append("pybind11 with its CMake files (Debian pybind11-dev)")
    return needs


_needs = _missing()
if _needs:
    sys.exit(f"kestrium cannot be built for {sys.executable}; it needs:\n  - "
             + "\n  - ".join(_needs)
             + "\nInstall them into this interpreter and build without isolation, so that "
               "nothing is downloaded (pip install --no-build-isolation ./python), or build from "
               "a venv of the Debian /usr/bin/python3 made with --system-site-packages, which "
               "has them all with the Debian packages python3-setuptools, python3-wheel, "
               "python3-numpy, python3-dev, pybind11-dev and cmake.")

from setuptools import Extension, setup  # noqa: E402
from setuptools.command.build_ext import build_ext  # noqa: E402


def project_version():
    """The version of CMake's project(), the one version of the program and the package."""
    text = (SOURCE / "CMakeLists.txt").read_text()
    return re.search(r"project\(\s*kestrium\s+VERSION\s+([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        arguments = [
            "cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
            "-DKT_BUILD_GUI=OFF", "-DKT_BUILD_BENCH=OFF", "-DKT_BUILD_PYTHON=ON",
            f"-DPython_EXECUTABLE={sys.executable}",
        ]
        if importlib.util.find_spec("pybind11") is not None:
            import pybind11
            arguments.append(f"-Dpybind11_DIR={pybind11.get_cmake_dir()}")
        subprocess.check_call(arguments)
        subprocess.check_call(["cmake", "--build", str(build), "--target", "_kestrium",
                               "-j", str(os.cpu_count() or 1)])
        built = next((build / "python" / "kestrium").glob("_kestrium*"))
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built, target)


setup(version=project_version(), ext_modules=[Extension("kestrium._kestrium", sources=[])],
      cmdclass={"build_ext": CMakeBuild})
