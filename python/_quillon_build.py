"""The build backend named in pyproject.toml: setuptools' own, found even in
an isolated build environment that has nothing installed.

pip builds a package in an isolated environment unless told otherwise, and
fills it from a package index, which an offline machine does not reach. This
backend asks for nothing to be installed there; when setuptools (or wheel)
is not importable in that environment, it takes the interpreter's own site
folders (Debian: python3-setuptools, python3-wheel) after everything else,
so an isolated build and a --no-build-isolation one use the same tools."""

import importlib
import site
import sys


def _importable(name):
    try:
        importlib.import_module(name)
        return True
    except ImportError:
        return False


if not (_importable("setuptools") and _importable("wheel")):
    for folder in site.getsitepackages([sys.base_prefix]) if hasattr(site, "getsitepackages") \
            else []:
        if folder not in sys.path:
            sys.path.append(folder)

from setuptools import build_meta as _meta  # noqa: E402

build_wheel = _meta.build_wheel
build_sdist = _meta.build_sdist
prepare_metadata_for_build_wheel = _meta.prepare_metadata_for_build_wheel
if hasattr(_meta, "build_editable"):
    build_editable = _meta.build_editable
    prepare_metadata_for_build_editable = _meta.prepare_metadata_for_build_editable


def _missing():
    return [] if _importable("wheel") else ["wheel"]


def get_requires_for_build_wheel(config_settings=None):
    return _missing()


def get_requires_for_build_sdist(config_settings=None):
    return []


def get_requires_for_build_editable(config_settings=None):
    return _missing()
