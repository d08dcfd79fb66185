#!/usr/bin/env python3
"""Serves the sample shapefile from a local HTTP server on 127.0.0.1 and runs
quillon-poster --url against it: once for the file (a poster is written) and
for a missing file (the failure names the server's 404 and saves nothing),
for a page that is not a shapefile (reported as unusable with its status,
left in the file it was saved in) and for a port where nothing listens (no
status to name).

    download_check.py PROGRAM SAMPLE_SHP WORK_DIR
"""

import http.server
import os
import shutil
import socket
import subprocess
import sys
import threading


def main():
    program, sample, work = sys.argv[1:4]
    shutil.rmtree(work, ignore_errors=True)
    served = os.path.join(work, "served")
    os.makedirs(served)
    shutil.copy(sample, os.path.join(served, "countries.shp"))
    with open(os.path.join(served, "page.shp"), "w") as f:
        f.write("<html><body>Please sign in</body></html>\n")

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
        assert "failed: the server answered HTTP 404 Not Found; nothing was saved" in \
            missing.stderr
        assert len(missing.stderr.strip().splitlines()) == 1, "one line of cause"
        assert not os.path.exists(os.path.join(work, "out", "downloads", "missing.shp"))

        page = subprocess.run([program, "--url", base + "page.shp"], cwd=work,
                              capture_output=True, text=True, timeout=300)
        print(page.stdout, page.stderr)
        assert page.returncode == 1, "a page must not pass as a shapefile"
        assert "returned (HTTP 200 OK) is unusable" in page.stderr
        assert "not a shapefile" in page.stderr
        assert "is left in 'out/downloads/page.shp'" in page.stderr

        # A port where nothing listens: no response, so no status to name.
        probe = socket.socket()
        probe.bind(("127.0.0.1", 0))
        closed = probe.getsockname()[1]
        probe.close()
        refused = subprocess.run([program, "--url", "http://127.0.0.1:%d/x.shp" % closed],
                                 cwd=work, capture_output=True, text=True, timeout=300)
        print(refused.stdout, refused.stderr)
        assert refused.returncode == 1
        assert "failed: no complete, well-formed final response headers" in refused.stderr
        assert "HTTP" not in refused.stderr.split("failed:")[1]
    finally:
        server.shutdown()
    return 0


if __name__ == "__main__":
    sys.exit(main())
