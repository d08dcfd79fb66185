#!/usr/bin/env python3
"""Serves the sample shapefile from a local HTTP server on 127.0.0.1 and runs
quillon-poster --url against it: once for the file (a poster is written) and
once for a missing file (the 404 page is reported as unusable, with the
file it was saved in).

    download_check.py PROGRAM SAMPLE_SHP WORK_DIR
"""

import http.server
import os
import shutil
import subprocess
import sys
import threading


def main():
    program, sample, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    served = os.path.join(work, "served")
    os.makedirs(served)
    shutil.copy(sample, os.path.join(served, "countries.shp"))

    class Handler(http.server.SimpleHTTPRequestHandler):
        def __init__(self, *args, **kwargs):
            super().__init__(*args, directory=served, **kwargs)

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    base = "http://127.0.0.1:%d/" % server.server_address[1]
    try:
        ok = subprocess.run([program, "--url", base + "countries.shp", "--width", "400",
                             "--out", "poster.png"], cwd=work, capture_output=True, text=True,
                            timeout=300)
        print(ok.stdout, ok.stderr)
        assert ok.returncode == 0, "download run failed"
        assert os.path.getsize(os.path.join(work, "out", "downloads", "countries.shp")) == \
            os.path.getsize(sample), "the downloaded file differs in size"
        with open(os.path.join(work, "poster.png"), "rb") as f:
            assert f.read(8) == b"\x89PNG\r\n\x1a\n", "no poster written"

        missing = subprocess.run([program, "--url", base + "missing.shp?v=1"], cwd=work,
                                 capture_output=True, text=True, timeout=300)
        print(missing.stdout, missing.stderr)
        assert missing.returncode == 1, "a 404 page must not pass as a shapefile"
        assert "returned is unusable" in missing.stderr and "not a shapefile" in missing.stderr
        assert "may have answered with an error page" in missing.stderr
        assert "is left in 'out/downloads/missing.shp'" in missing.stderr
        assert os.path.exists(os.path.join(work, "out", "downloads", "missing.shp"))
    finally:
        server.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
