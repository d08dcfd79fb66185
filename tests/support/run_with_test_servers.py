#!/usr/bin/env python3
"""Runs a test program with the local servers of http_test_server.py.

Usage: run_with_test_servers.py PROGRAM [ARGS...]

For test programs that cannot start the servers themselves (the Windows
build, run under Wine): makes a self-signed certificate for 127.0.0.1 with
openssl, starts http_test_server.py with this same interpreter, waits for
its line of ports, reserves a port with nothing listening on it, and runs
PROGRAM with QUILLON_TEST_SERVERS set to
"http <port> https <port> silent <port> closed <port>". Its exit status is
the program's; the servers stop when it ends. When the servers do not come
up, it says why (their standard error) and exits 1.
"""

import os
import select
import socket
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))

# A loaded machine (a parallel build, Wine starting up) can take long to start
# an interpreter; the servers print their ports as soon as they listen.
READY_DEADLINE_S = 120
NEEDED = ("http", "https", "silent")


def make_certificate(tmp):
    cert, key = os.path.join(tmp, "cert.pem"), os.path.join(tmp, "key.pem")
    made = subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                           "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                           "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                           "-keyout", key, "-out", cert],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if made.returncode != 0:
        sys.exit("openssl could not make the test certificate:\n"
                 + made.stderr.decode(errors="replace"))
    return cert, key


def read_ports(server, errors):
    """The servers' "name port ..." line as a dict, or exits saying why not."""
    deadline = time.monotonic() + READY_DEADLINE_S
    line = b""
    fd = server.stdout.fileno()
    while not line.endswith(b"\n"):
        left = deadline - time.monotonic()
        readable = select.select([fd], [], [], max(left, 0))[0] if left > 0 else []
        if not readable:
            fail(server, errors, "printed no ports within %d s" % READY_DEADLINE_S)
        piece = os.read(fd, 4096)
        if not piece:
            fail(server, errors, "exited before printing its ports (status %s)" % server.wait())
        line += piece
    words = line.decode(errors="replace").split()
    ports = dict(zip(words[0::2], words[1::2]))
    if len(words) % 2 or any(not ports.get(name, "").isdigit() for name in NEEDED):
        fail(server, errors, "printed an unexpected line: %r" % line)
    return ports


def fail(server, errors, what):
    if server.poll() is None:
        server.kill()
        server.wait()
    errors.seek(0)
    text = errors.read().decode(errors="replace").strip()
    sys.exit("the test server %s (%s)%s" % (what, sys.executable,
                                            ":\n" + text if text else ""))


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: run_with_test_servers.py PROGRAM [ARGS...]")
    with tempfile.TemporaryDirectory(prefix="quillon-servers-") as tmp:
        cert, key = make_certificate(tmp)
        errors = tempfile.TemporaryFile(dir=tmp)
        server = subprocess.Popen([sys.executable, os.path.join(HERE, "http_test_server.py"),
                                   cert, key],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=errors)
        # Bound but not listening: connections to it are refused.
        closed = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        closed.bind(("127.0.0.1", 0))
        try:
            ports = read_ports(server, errors)
            env = dict(os.environ)
            env["QUILLON_TEST_SERVERS"] = " ".join(
                "%s %s" % (name, ports[name]) for name in NEEDED) + " closed %d" % (
                closed.getsockname()[1])
            # Requests to the local servers must not go through a proxy.
            env["no_proxy"] = env["NO_PROXY"] = "127.0.0.1"
            sys.stdout.flush()
            status = subprocess.call(sys.argv[1:], env=env)
        finally:
            if server.poll() is None:
                server.stdin.close()  # the server exits at the end of its input
                try:
                    server.wait(30)
                except subprocess.TimeoutExpired:
                    server.kill()
                    server.wait()
            closed.close()
            errors.close()
    sys.exit(status)


if __name__ == "__main__":
    main()
