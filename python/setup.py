"""Build step of the quillon package: the version comes from the C headers of
the checkout this folder belongs to, and is written into quillon/_version.py
of the built package. The C libraries themselves are built with CMake; the
package finds them through QUILLON_LIB_DIR or the system's library path."""

import importlib.util
import os

from setuptools import setup
from setuptools.command.build_py import build_py

HERE = os.path.dirname(os.path.abspath(__file__))


def _version() -> str:
    versioning = importlib.util.spec_from_file_location(
        "_quillon_versioning", os.path.join(HERE, "quillon", "_versioning.py"))
    module = importlib.util.module_from_spec(versioning)
    versioning.loader.exec_module(module)
    version = module.from_source_tree(os.path.dirname(HERE))
    if not version:
        raise RuntimeError("quillon: no version found in ../include/ordane.h or ../CMakeLists.txt;"
                           " build the package from a checkout")
    return version


VERSION = _version()


class BuildWithVersion(build_py):
    def run(self):
        super().run()
        target = os.path.join(self.build_lib, "quillon", "_version.py")
        with open(target, "w", encoding="utf-8") as f:
            f.write("# Written by setup.py.\nVERSION = %r\nLIB_DIR = ''\nBLEND2D_LIB = ''\n"
                    % VERSION)


setup(version=VERSION, cmdclass={"build_py": BuildWithVersion})
