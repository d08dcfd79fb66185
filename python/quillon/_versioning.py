"""The package version: the C libraries' version.

An installed package carries it in the generated _version.py. In a source
checkout it is read from the version macros of include/ordane.h, or, for
headers without them, from the project() line of the top-level CMakeLists.txt.
"""

from __future__ import annotations

import os
import re
from typing import Optional


def from_source_tree(root: str) -> Optional[str]:
    header = os.path.join(root, "include", "ordane.h")
    try:
        with open(header, encoding="utf-8") as f:
            text = f.read()
    except OSError:
        text = ""
    parts = []
    for what in ("MAJOR", "MINOR", "PATCH"):
        m = re.search(r"#\s*define\s+ORDANE_VERSION_%s\s+\(?(\d+)" % what, text)
        if not m:
            break
        parts.append(m.group(1))
    if len(parts) == 3:
        return ".".join(parts)
    try:
        with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as f:
            m = re.search(r"project\s*\(\s*quillon\s+VERSION\s+([0-9.]+)", f.read())
    except OSError:
        return None
    return m.group(1) if m else None


def package_version() -> str:
    try:
        from ._version import VERSION  # type: ignore[import]
        return str(VERSION)
    except ImportError:
        pass
    here = os.path.dirname(os.path.realpath(__file__))
    return from_source_tree(os.path.dirname(os.path.dirname(here))) or "0+unknown"
