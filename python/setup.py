"""Build step of the quillon package.

"pip install ./python" from a checkout builds libordane, libvelket and
libtorvik with CMake (Release, only the three libraries) and puts them, with
the Blend2D they link, into quillon/_libs inside the wheel. Each library
carries the run path $ORIGIN, so they find each other and Blend2D there
wherever the package is installed. The version comes from the C headers of
the checkout and is written into quillon/_version.py with the folder name.

Environment:
  QUILLON_BLEND2D_DIR   folder of a real Blend2D's CMake package
                        (<prefix>/lib/cmake/blend2d): the libraries link it
                        and its shared library is bundled. Without it they
                        link the project's stand-in (compat/blend2d), which
                        draws through the system's Cairo (Debian: libcairo2).
  QUILLON_CMAKE         the cmake program (default: cmake on PATH)
  QUILLON_BUILD_JOBS    parallel build jobs (default 2)
  QUILLON_CMAKE_BUILD_DIR  where CMake builds (default python/build/cmake-*),
                        kept between installs so a second one only links
"""

import glob
import importlib.util
import os
import re
import shutil
import subprocess
import sys

from setuptools import Distribution, setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
LIBS_FOLDER = "_libs"


def _version() -> str:
    versioning = importlib.util.spec_from_file_location(
        "_quillon_versioning", os.path.join(HERE, "quillon", "_versioning.py"))
    module = importlib.util.module_from_spec(versioning)
    versioning.loader.exec_module(module)
    version = module.from_source_tree(ROOT)
    if not version:
        raise RuntimeError("quillon: no version found in ../include/ordane.h or ../CMakeLists.txt;"
                           " build the package from a checkout")
    return version


VERSION = _version()


def _run(args, **kwargs):
    print("quillon: " + " ".join(args), flush=True)
    subprocess.run(args, check=True, **kwargs)


def _soname(path: str) -> str:
    """The SONAME recorded in a shared library (its file name if none)."""
    try:
        out = subprocess.run(["readelf", "-d", path], check=True, stdout=subprocess.PIPE,
                             universal_newlines=True).stdout
    except (OSError, subprocess.CalledProcessError):
        return os.path.basename(path)
    m = re.search(r"\(SONAME\)\s+Library soname: \[([^\]]+)\]", out)
    return m.group(1) if m else os.path.basename(path)


def build_libraries(dest: str) -> None:
    """Configures, builds and installs the three libraries into a staging
    prefix, then copies them and their Blend2D into "dest"."""
    if not os.path.isfile(os.path.join(ROOT, "CMakeLists.txt")) or \
            not os.path.isdir(os.path.join(ROOT, "geo")):
        raise RuntimeError("quillon: the C sources are not beside python/ (%s); build the "
                           "package from a checkout of the whole project" % ROOT)
    cmake = os.environ.get("QUILLON_CMAKE") or shutil.which("cmake")
    if not cmake:
        raise RuntimeError("quillon: cmake is needed to build the libraries (Debian: cmake)")
    blend2d_dir = os.environ.get("QUILLON_BLEND2D_DIR", "")
    kind = "real" if blend2d_dir else "standin"
    build = os.environ.get("QUILLON_CMAKE_BUILD_DIR") or \
        os.path.join(HERE, "build", "cmake-%s-%s" % (kind, VERSION))
    stage = os.path.join(build, "stage")
    args = [cmake, "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release",
            "-DCMAKE_INSTALL_PREFIX=" + stage, "-DCMAKE_INSTALL_LIBDIR=lib",
            "-DQUILLON_BUILD_TESTS=OFF", "-DQUILLON_BUILD_BENCHMARKS=OFF",
            "-DQUILLON_BUILD_EXAMPLES=OFF", "-DQUILLON_BUILD_PYTHON=OFF"]
    if blend2d_dir:
        args += ["-DQUILLON_BLEND2D=REAL", "-Dblend2d_DIR=" + blend2d_dir]
    else:
        args += ["-DQUILLON_BLEND2D=STANDIN"]
    for launcher in ("CMAKE_C_COMPILER_LAUNCHER", "CMAKE_CXX_COMPILER_LAUNCHER"):
        if os.environ.get(launcher):
            args.append("-D%s=%s" % (launcher, os.environ[launcher]))
    _run(args)
    jobs = os.environ.get("QUILLON_BUILD_JOBS", "2")
    _run([cmake, "--build", build, "--target", "ordane", "velket", "torvik", "-j", jobs])
    if os.path.isdir(stage):
        shutil.rmtree(stage)
    # Installing rewrites each library's run path to $ORIGIN.
    _run([cmake, "--install", build, "--prefix", stage])
    os.makedirs(dest, exist_ok=True)
    for old in glob.glob(os.path.join(dest, "lib*")):
        os.remove(old)
    lib_dir = os.path.join(stage, "lib")
    for lib in ("ordane", "velket", "torvik"):
        # The fully versioned file: its name tells the loader which version
        # it holds (no library depends on another by name).
        files = [f for f in glob.glob(os.path.join(lib_dir, "lib%s.so.*" % lib))
                 if re.fullmatch(r"lib%s\.so\.\d+\.\d+\.\d+" % lib, os.path.basename(f))]
        if len(files) != 1:
            raise RuntimeError("quillon: lib%s was not installed into %s" % (lib, lib_dir))
        shutil.copy2(files[0], os.path.join(dest, os.path.basename(files[0])))
    # Blend2D under the name the libraries ask for.
    if blend2d_dir:
        candidates = glob.glob(os.path.join(blend2d_dir, "..", "..", "libblend2d.so*"))
    else:
        candidates = glob.glob(os.path.join(lib_dir, "libbl2dcompat.so*"))
    real = sorted({os.path.realpath(f) for f in candidates})
    if len(real) != 1:
        raise RuntimeError("quillon: the Blend2D library to bundle was not found (%s)"
                           % ", ".join(candidates) or "nothing")
    shutil.copy2(real[0], os.path.join(dest, _soname(real[0])))


class BuildWithLibraries(build_py):
    """build_py that also builds the libraries and records the version."""

    def run(self):
        super().run()
        package = os.path.join(self.build_lib, "quillon")
        if os.environ.get("QUILLON_NO_NATIVE_BUILD"):
            lib_dir = ""  # the libraries come from QUILLON_LIB_DIR or the system
        else:
            build_libraries(os.path.join(package, LIBS_FOLDER))
            lib_dir = LIBS_FOLDER
        with open(os.path.join(package, "_version.py"), "w", encoding="utf-8") as f:
            f.write("# Written by setup.py.\nVERSION = %r\nLIB_DIR = %r\nBLEND2D_LIB = ''\n"
                    % (VERSION, lib_dir))


class BinaryDistribution(Distribution):
    """The wheel holds native libraries: tagged for this platform."""

    def has_ext_modules(self):
        return not os.environ.get("QUILLON_NO_NATIVE_BUILD")


setup(version=VERSION, distclass=BinaryDistribution, cmdclass={"build_py": BuildWithLibraries})
