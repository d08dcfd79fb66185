"""Exceptions carrying the C result code and its meaning."""

from __future__ import annotations


class QuillonError(RuntimeError):
    """A call failed; "code" is the C result code, "meaning" what it stands for."""

    def __init__(self, function: str, code: int, meaning: str) -> None:
        super().__init__("%s failed with %d: %s" % (function, code, meaning))
        self.function = function
        self.code = code
        self.meaning = meaning


class ShapefileError(QuillonError):
    """ordane_read_shp_header() or ordane_parse_shp() could not read a file."""


class DownloadError(QuillonError):
    """ordane_http_download_file() failed; "code" is one of DOWNLOAD_ERRORS,
    "http_status" the status of the response it ended on (0: none came)."""

    def __init__(self, function: str, code: int, meaning: str, http_status: int = 0) -> None:
        super().__init__(function, code, meaning)
        self.http_status = http_status


class Blend2DError(QuillonError):
    """A Blend2D call returned an error BLResult (0x10000 and up)."""


SHP_ERRORS = {
    -1: "null argument",
    -2: "the file cannot be opened",
    -3: "the file is shorter than the 100-byte header",
    -4: "the file does not start with the file code 9994: not a shapefile",
}

# The meanings of ordane.h's ORDANE_HTTP_ERR_* codes, word for word as the
# header's table gives them (tests/test_errors.py compares the two).
DOWNLOAD_ERRORS = {
    -1: "no URL or no destination",
    -2: "the URL is not valid UTF-8",
    -3: "not an http or https URL with a host",
    -4: "no client session, or no memory before the transfer",
    -5: "the connection options cannot be set",
    -6: "the request options cannot be set",
    -7: "no complete, well-formed final response headers",
    -8: "the destination cannot be opened for writing",
    -9: "the body broke off, stalled or could not be written",
}

BLEND2D_ERRORS = {
    0x00010000: "out of memory",
    0x00010001: "invalid value",
    0x00010002: "invalid state",
}
