#!/usr/bin/env python3
"""Local HTTP and HTTPS servers for the download tests.

Usage: http_test_server.py CERT_PEM KEY_PEM

Listens on four ephemeral ports of 127.0.0.1: one plain and one TLS (with
the given certificate), which serve the routes below, a silent one that
accepts connections and never sends a byte (a server that never answers, or
a TLS handshake that never completes), and a TLS one that paces the
encrypted bytes themselves (see tls_drip). Prints "http <port> https <port>
silent <port> tlsdrip <port>" on one line and serves until its standard
input reaches end of file, so it never outlives the test that started it, and in any case for at
most 15 minutes. Every connection it holds open is released within 120 s, or
as soon as the client hangs up. Routes:

  /echo...             200; the body is the request target as received, then
                       each request header as "Name: value", one per line
  /bytes?n=N           200 with N bytes, byte i being i % 251
  /status?code=C       status C with the body "status C"
  /empty               200 with an empty body
  /redirect?n=K        302 to /redirect?n=K-1 (with a body of its own) until
                       K is 0, then 200 "end of chain"
  /to?url=U            302 to U
  /truncated?n=N&sent=M
                       declares N bytes, sends the first M of /bytes, closes
  /chunked-truncated   a chunked body whose last chunk never comes
  /endless             declares 10^12 bytes and streams until the client leaves
  /drop                closes the connection without replying
  /interim-then-drop   sends a 103 interim response, then closes
  /headers-then-drop   sends 200 headers declaring 100 bytes, then closes
  /interim             a 103 interim response, then 200 "after interim"
  /raw?data=D&hold=S   sends the bytes D verbatim (a whole response, or a
                       broken one), keeps the connection open S seconds,
                       then closes
  /drip?head=H&data=D&chunk=C&every=S
                       sends H, then D in pieces of C bytes, one piece every
                       S seconds, then closes
Bytes in D and H are percent-escaped in the query; every byte stands for
itself (no UTF-8 decoding).
"""

import http.server
import os
import select
import socket
import socketserver
import ssl
import sys
import threading
import time
import urllib.parse

LIFETIME = 900     # seconds the whole server may run
LONGEST_HOLD = 120  # seconds any connection is kept open without a reason

PATTERN = bytes(range(251))


def wait_for_hangup(sock, seconds):
    """Waits up to "seconds" (at most LONGEST_HOLD) or until the peer closes;
    returns True when it closed."""
    deadline = time.monotonic() + min(seconds, LONGEST_HOLD)
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            return False
        readable, _, _ = select.select([sock], [], [], min(left, 1.0))
        if readable:
            try:
                if not sock.recv(65536):
                    return True
            except (OSError, ssl.SSLError):
                return True


def pattern(start, count):
    """Bytes start .. start+count-1 of the /bytes body."""
    reps = (start % 251 + count) // 251 + 1
    block = PATTERN * reps
    offset = start % 251
    return block[offset:offset + count]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    # Headers and body go out in separate writes; without this, Nagle's
    # algorithm and delayed acknowledgements stall every response by 40 ms.
    disable_nagle_algorithm = True

    def log_message(self, fmt, *args):
        pass

    def reply(self, code, body, headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def raw(self, data):
        self.wfile.write(data)
        self.wfile.flush()
        self.close_connection = True

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        # Latin-1 keeps every escaped byte as it is.
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True, encoding="latin-1")
        route = url.path

        def number(name, default=0):
            return int(query.get(name, [default])[0])

        if route.startswith("/echo"):
            lines = [self.path] + ["%s: %s" % (k, v) for k, v in self.headers.items()]
            self.reply(200, ("\n".join(lines) + "\n").encode("utf-8", "surrogateescape"))
        elif route == "/bytes":
            n = number("n")
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            sent = 0
            while sent < n:
                chunk = min(n - sent, 1 << 20)
                self.wfile.write(pattern(sent, chunk))
                sent += chunk
        elif route == "/status":
            code = number("code", 200)
            self.reply(code, ("status %d" % code).encode())
        elif route == "/empty":
            self.reply(200, b"")
        elif route == "/redirect":
            n = number("n")
            if n > 0:
                self.reply(302, b"redirect body, never saved",
                           [("Location", "/redirect?n=%d" % (n - 1))])
            else:
                self.reply(200, b"end of chain")
        elif route == "/to":
            self.reply(302, b"redirect body, never saved", [("Location", query["url"][0])])
        elif route == "/truncated":
            n, sent = number("n"), number("sent")
            self.send_response(200)
            self.send_header("Content-Length", str(n))
            self.end_headers()
            self.raw(pattern(0, sent))
        elif route == "/chunked-truncated":
            self.raw(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                     b"5\r\nhello\r\n")
        elif route == "/endless":
            self.send_response(200)
            self.send_header("Content-Length", str(10 ** 12))
            self.end_headers()
            block = pattern(0, 65536)
            self.close_connection = True
            try:
                while True:
                    self.wfile.write(block)
            except OSError:
                pass
        elif route == "/drop":
            self.close_connection = True
        elif route == "/interim-then-drop":
            self.raw(b"HTTP/1.1 103 Early Hints\r\nLink: </style.css>\r\n\r\n")
        elif route == "/headers-then-drop":
            self.raw(b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n")
        elif route == "/raw":
            self.close_connection = True
            self.wfile.write(query.get("data", [""])[0].encode("latin-1"))
            self.wfile.flush()
            wait_for_hangup(self.connection, float(query.get("hold", ["0"])[0]))
        elif route == "/drip":
            self.close_connection = True
            head = query.get("head", [""])[0].encode("latin-1")
            data = query.get("data", [""])[0].encode("latin-1")
            piece, every = max(number("chunk", 1), 1), float(query.get("every", ["1"])[0])
            try:
                self.wfile.write(head)
                for i in range(0, len(data), piece):
                    if i > 0 and wait_for_hangup(self.connection, every):
                        break
                    self.wfile.write(data[i:i + piece])
            except OSError:
                pass
        elif route == "/interim":
            self.raw(b"HTTP/1.1 103 Early Hints\r\nLink: </style.css>\r\n\r\n"
                     b"HTTP/1.1 200 OK\r\nContent-Length: 13\r\n\r\nafter interim")
        else:
            self.reply(404, b"no such route")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # Clients that reject the certificate or hang up are part of the tests.
        pass


class TlsServer(Server):
    def __init__(self, address, context):
        self.context = context
        super().__init__(address, Handler)

    def get_request(self):
        sock, addr = self.socket.accept()
        # The handshake runs in the handler's thread, on the first read.
        return self.context.wrap_socket(sock, server_side=True,
                                        do_handshake_on_connect=False), addr


def serve_silently(listener):
    """Accepts connections and holds each one open without sending."""
    while True:
        conn, _ = listener.accept()

        def hold(c=conn):
            with c:
                wait_for_hangup(c, LONGEST_HOLD)

        threading.Thread(target=hold, daemon=True).start()


def tls_drip(conn, context):
    """TLS done by hand over the plain socket, so that the encrypted bytes of
    a response go out at a chosen pace. Any request target's query is read as
    head=H&data=D&chunk=C&every=S: H is sent at once, then D is encrypted as
    one TLS record (it must fit in one: at most 16,384 bytes) and that
    record's bytes are sent C at a time, one piece every S seconds. A client
    sees no plaintext of D until the whole record is in."""
    with conn:
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        tls = context.wrap_bio(incoming, outgoing, server_side=True)

        def flush():
            data = outgoing.read()
            if data:
                conn.sendall(data)

        def receive():
            readable, _, _ = select.select([conn], [], [], LONGEST_HOLD)
            data = conn.recv(65536) if readable else b""
            if not data:
                raise EOFError
            incoming.write(data)

        try:
            while True:
                try:
                    tls.do_handshake()
                    break
                except ssl.SSLWantReadError:
                    flush()
                    receive()
            flush()
            request = b""
            while b"\r\n\r\n" not in request:
                try:
                    request += tls.read(65536)
                except ssl.SSLWantReadError:
                    flush()
                    receive()
            target = request.split(b" ")[1].decode("latin-1")
            query = urllib.parse.parse_qs(urllib.parse.urlsplit(target).query,
                                          keep_blank_values=True, encoding="latin-1")
            head = query.get("head", [""])[0].encode("latin-1")
            data = query.get("data", [""])[0].encode("latin-1")
            piece = max(int(query.get("chunk", ["1"])[0]), 1)
            every = float(query.get("every", ["1"])[0])
            if head:
                tls.write(head)
                flush()
            tls.write(data)
            record = outgoing.read()
            for i in range(0, len(record), piece):
                if i > 0 and wait_for_hangup(conn, every):
                    break
                conn.sendall(record[i:i + piece])
            wait_for_hangup(conn, 1)
        except (OSError, ssl.SSLError, EOFError, IndexError, ValueError):
            pass


def serve_tls_drip(listener, context):
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=tls_drip, args=(conn, context), daemon=True).start()


def main():
    cert, key = sys.argv[1], sys.argv[2]
    threading.Timer(LIFETIME, lambda: os._exit(0)).start()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)

    plain = Server(("127.0.0.1", 0), Handler)
    secure = TlsServer(("127.0.0.1", 0), context)
    for server in (plain, secure):
        threading.Thread(target=server.serve_forever, daemon=True).start()
    silent = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    silent.bind(("127.0.0.1", 0))
    silent.listen(16)
    threading.Thread(target=serve_silently, args=(silent,), daemon=True).start()
    paced = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    paced.bind(("127.0.0.1", 0))
    paced.listen(16)
    threading.Thread(target=serve_tls_drip, args=(paced, context), daemon=True).start()

    print("http %d https %d silent %d tlsdrip %d" % (
        plain.server_address[1], secure.server_address[1], silent.getsockname()[1],
        paced.getsockname()[1]), flush=True)
    sys.stdin.buffer.read()
    os._exit(0)


if __name__ == "__main__":
    main()
