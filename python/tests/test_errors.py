"""The code meanings of the Python package against the C header's table."""

import os
import re

import quillon as q

from conftest import ROOT

HEADER = os.path.join(ROOT, "include", "ordane.h")


def header_table(prefix):
    """{code: meaning} from the header's "#define PREFIX... (-N) /* meaning */"
    lines, white space inside a meaning folded to one space."""
    with open(HEADER, encoding="utf-8") as f:
        text = f.read()
    pattern = r"#define\s+%s\w*\s+\((-\d+)\)\s*/\*(.*?)\*/" % re.escape(prefix)
    return {int(code): " ".join(meaning.split())
            for code, meaning in re.findall(pattern, text, re.S)}


def test_download_meanings_are_the_headers():
    table = header_table("ORDANE_HTTP_ERR_")
    assert sorted(table) == list(range(-9, -1))
    assert {code: q.DOWNLOAD_ERRORS[code] for code in table} == table
    # Beyond the table only the null argument, the export's -1.
    assert set(q.DOWNLOAD_ERRORS) == set(table) | {-1}
