"""Ctrl-C during download(): a real SIGINT to a process waiting on a silent
or a trickling server on 127.0.0.1 ends the call at once with
KeyboardInterrupt, and what arrived is left in the file, as for a broken
transfer."""

import os
import shutil
import signal
import subprocess
import sys
import time
import urllib.parse

import pytest

from conftest import ROOT

SERVER = os.path.join(ROOT, "tests", "support", "http_test_server.py")

# The child reports when it is about to call download(), then how the call
# ended and how long after the signal.
CHILD = r"""
import signal, sys, time
import quillon as q
url, dest = sys.argv[1], sys.argv[2]
hit = []
previous = signal.getsignal(signal.SIGINT)
def note(signum, frame):
    hit.append(time.monotonic())
    previous(signum, frame)
signal.signal(signal.SIGINT, note)
print("calling", flush=True)
try:
    q.download(url, dest)
    print("returned")
except KeyboardInterrupt:
    print("interrupted %.3f" % (time.monotonic() - hit[0]))
"""


@pytest.fixture(scope="module")
def servers(tmp_path_factory):
    if not shutil.which("openssl"):
        pytest.skip("openssl makes the test server's certificate")
    folder = tmp_path_factory.mktemp("servers")
    cert, key = str(folder / "cert.pem"), str(folder / "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                    "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1", "-subj",
                    "/CN=127.0.0.1", "-keyout", key, "-out", cert],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    proc = subprocess.Popen([sys.executable, SERVER, cert, key], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE, universal_newlines=True,
                            env=dict(os.environ, LD_PRELOAD=""))
    words = proc.stdout.readline().split()
    ports = dict(zip(words[::2], map(int, words[1::2])))
    try:
        yield ports
    finally:
        proc.stdin.close()
        proc.wait(10)


def interrupt(url, dest, after=0.7):
    """Runs the child, sends SIGINT "after" seconds into download(); returns
    its last line of output."""
    child = subprocess.Popen([sys.executable, "-c", CHILD, url, str(dest)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             universal_newlines=True)
    try:
        assert child.stdout.readline().strip() == "calling"
        time.sleep(after)
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        out, err = child.communicate(timeout=20)
        took = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert child.returncode == 0, err
    return out.strip().splitlines()[-1], took


def test_ctrl_c_ends_a_wait_on_a_silent_server(servers, tmp_path):
    dest = tmp_path / "silent.bin"
    line, took = interrupt("http://127.0.0.1:%d/x" % servers["silent"], dest)
    word, since = line.split()
    assert word == "interrupted"
    assert float(since) < 1.0 and took < 5.0
    assert not dest.exists()  # no response came: nothing was opened


def test_ctrl_c_ends_a_trickling_body_leaving_what_arrived(servers, tmp_path):
    body = bytes(range(65, 91)) * 40  # 1040 bytes, 10 a second
    head = b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\n\r\n" % len(body)
    query = urllib.parse.urlencode({"head": head, "data": body, "chunk": 1, "every": 0.1})
    dest = tmp_path / "drip.bin"
    line, took = interrupt("http://127.0.0.1:%d/drip?%s" % (servers["http"], query), dest,
                           after=1.5)
    word, since = line.split()
    assert word == "interrupted"
    assert float(since) < 1.0 and took < 5.0
    got = dest.read_bytes()
    # A partial file: a true prefix of the body, as a broken transfer leaves.
    assert len(got) < len(body) and body.startswith(got)


def test_download_from_another_thread_still_works(servers, tmp_path):
    import threading
    import quillon as q
    dest = tmp_path / "bytes.bin"
    errors = []

    def fetch():
        try:
            q.download("http://127.0.0.1:%d/bytes?n=5000" % servers["http"], dest)
        except Exception as exc:  # reported below
            errors.append(exc)

    t = threading.Thread(target=fetch)
    t.start()
    t.join(60)
    assert not errors and dest.read_bytes() == bytes(i % 251 for i in range(5000))
    # And on the main thread, through the worker, with a failure code intact.
    with pytest.raises(q.DownloadError) as info:
        q.download("http://127.0.0.1:%d/truncated?n=100&sent=10" % servers["http"],
                   tmp_path / "cut.bin")
    assert info.value.code == -9
    assert (tmp_path / "cut.bin").read_bytes() == bytes(range(10))
