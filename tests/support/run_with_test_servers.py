#!/usr/bin/env python3
"""Runs a test program with the local servers of http_test_server.py.

Usage: run_with_test_servers.py PROGRAM [ARGS...]

For test programs that cannot start the servers themselves (the Windows
build, run under Wine): makes a self-signed certificate for 127.0.0.1 with
openssl, starts http_test_server.py, reserves a port with nothing listening
on it, and runs PROGRAM with QUILLON_TEST_SERVERS set to
"http <port> https <port> silent <port> closed <port>". Its exit status is
the program's; the servers stop when it ends.
"""

import os
import socket
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    if len(sys.argv) < 2:
        sys.exit("usage: run_with_test_servers.py PROGRAM [ARGS...]")
    with tempfile.TemporaryDirectory(prefix="quillon-servers-") as tmp:
        cert, key = os.path.join(tmp, "cert.pem"), os.path.join(tmp, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-days", "2", "-subj",
                        "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", key, "-out", cert],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        server = subprocess.Popen([sys.executable, os.path.join(HERE, "http_test_server.py"),
                                   cert, key], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        # Bound but not listening: connections to it are refused.
        closed = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        closed.bind(("127.0.0.1", 0))
        try:
            ports = server.stdout.readline().decode().split()
            if len(ports) != 6 or ports[0::2] != ["http", "https", "silent"]:
                sys.exit("the test server did not start")
            env = dict(os.environ)
            env["QUILLON_TEST_SERVERS"] = " ".join(ports + ["closed", str(closed.getsockname()[1])])
            # Requests to the local servers must not go through a proxy.
            env["no_proxy"] = env["NO_PROXY"] = "127.0.0.1"
            status = subprocess.call(sys.argv[1:], env=env)
        finally:
            server.stdin.close()  # the server exits at the end of its input
            server.wait()
            closed.close()
    sys.exit(status)


if __name__ == "__main__":
    main()
