#!/usr/bin/env python3
"""A fault-injecting HTTP server on loopback, for tests of the download engine.

It does on demand what a well-behaved server such as nginx will not: break a
connection in the middle of a body, stall, ignore a byte range, loop on
redirects or send a body slowly. Files come from one folder (--root).

    fault_server.py --root DIR [--listen 127.0.0.1:0] [--lifetime SECONDS]

The bound port is printed alone on the first line of stdout. Used as a module,
FaultServer(root).start() runs it on a thread of the caller.

Every request path starts with a token of the test's choosing, so that tests
sharing one server keep separate request logs:

    /TOKEN/plain/FILE              the file; a "Range: bytes=N-" gets a 206
    /TOKEN/norange/FILE            the whole file with 200, whatever the range
    /TOKEN/reset-first/N/FILE      first request of TOKEN: the answer head and
                                   N body bytes, then a connection reset;
                                   later requests are served as plain
    /TOKEN/stall-first/N/FILE      first request of TOKEN: the answer head and
                                   N body bytes, then nothing (the connection
                                   stays open until the client gives up)
    /TOKEN/stall                   a 200 head with a Content-Length, no body
    /TOKEN/hangup                  the connection is closed without an answer
    /TOKEN/status/CODE             that status with a short text body
    /TOKEN/loop                    a 302 to itself, for ever
    /TOKEN/redirect?to=URL         a 302 to URL, with a short body
    /TOKEN/drip/BYTES/FILE         the file, BYTES every 100 ms
    /TOKEN/nolength/FILE           the whole file with 200 and no Content-Length
    /TOKEN/headers                 hand-written header lines (see HEADER_LINES)
    /TOKEN/bigheaders/N            N header lines of 1000 bytes each
    /TOKEN/echo-range              the request's Range header as the body
    /log/TOKEN                     the log of TOKEN, one line per request:
                                   "MODE/ARGS RANGE MILLISECONDS" (RANGE "-" if
                                   none), for example "plain/small.bin bytes=100- 5120"

Answers carry "Connection: close"; one request per connection.
Python 3 standard library only.
"""

import argparse
import os
import re
import socket
import socketserver
import struct
import sys
import threading
import time
import urllib.parse

# Longest request head the server reads.
MAX_REQUEST_BYTES = 16384
DRIP_INTERVAL_S = 0.1
HEADER_LINES = [
    "X-Plain: value",
    "X-Spaced:    padded value   ",
    "X-Empty:",
    ": no name",
    "X-Colon: a:b:c",
]


def parse_range(header):
    """The first byte of "bytes=N-", or None."""
    if not header:
        return None
    match = re.fullmatch(r"\s*bytes=(\d+)-\s*", header)
    return int(match.group(1)) if match else None


class RequestLog:
    def __init__(self):
        self._lock = threading.Lock()
        self._lines = {}
        self._first_seen = set()

    def add(self, token, what, range_header):
        with self._lock:
            stamp = int(time.monotonic() * 1000)
            self._lines.setdefault(token, []).append("%s %s %d" % (what, range_header or "-", stamp))

    def lines(self, token):
        with self._lock:
            return list(self._lines.get(token, []))

    def first(self, token):
        """True exactly once per token."""
        with self._lock:
            if token in self._first_seen:
                return False
            self._first_seen.add(token)
            return True


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        head = self.read_head()
        if head is None:
            return
        request_line, headers = head
        parts = request_line.split(" ")
        if len(parts) != 3:
            return self.send_status(400)
        url = urllib.parse.urlsplit(parts[1])
        segments = [urllib.parse.unquote(s) for s in url.path.split("/")[1:]]
        query = urllib.parse.parse_qs(url.query)
        if len(segments) == 2 and segments[0] == "log":
            return self.send_body(200, ("\n".join(self.server.log.lines(segments[1])) + "\n").encode())
        if len(segments) < 2:
            return self.send_status(404)
        token, mode, args = segments[0], segments[1], segments[2:]
        range_header = headers.get("range")
        self.server.log.add(token, "/".join(segments[1:]), range_header)
        start = parse_range(range_header)

        if mode == "plain" and len(args) == 1:
            return self.send_file(args[0], start)
        if mode == "norange" and len(args) == 1:
            return self.send_file(args[0], None)
        if mode == "reset-first" and len(args) == 2:
            if self.server.log.first(token):
                return self.send_file(args[1], start, cut_after=int(args[0]), then="reset")
            return self.send_file(args[1], start)
        if mode == "stall-first" and len(args) == 2:
            if self.server.log.first(token):
                return self.send_file(args[1], start, cut_after=int(args[0]), then="stall")
            return self.send_file(args[1], start)
        if mode == "stall":
            self.send_head(200, [("Content-Length", "1000")])
            return self.stall()
        if mode == "hangup":
            return
        if mode == "status" and len(args) == 1:
            return self.send_status(int(args[0]))
        if mode == "loop":
            return self.send_head(302, [("Location", url.path), ("Content-Length", "0")])
        if mode == "redirect" and "to" in query:
            body = b"redirecting"
            self.send_head(302, [("Location", query["to"][0]), ("Content-Length", str(len(body)))])
            return self.request.sendall(body)
        if mode == "nolength" and len(args) == 1:
            return self.send_file(args[0], None, with_length=False)
        if mode == "drip" and len(args) == 2:
            return self.send_file(args[1], start, drip=int(args[0]))
        if mode == "headers":
            body = b"headers"
            lines = ["HTTP/1.1 200 OK"] + HEADER_LINES + [
                "Content-Length: %d" % len(body), "Connection: close", "", ""]
            return self.request.sendall("\r\n".join(lines).encode() + body)
        if mode == "bigheaders" and len(args) == 1:
            filler = "x" * 986
            lines = ["HTTP/1.1 200 OK"] + ["X-Big-%05d: %s" % (i, filler) for i in range(int(args[0]))] + [
                "Content-Length: 0", "Connection: close", "", ""]
            return self.request.sendall("\r\n".join(lines).encode())
        if mode == "echo-range":
            return self.send_body(200, (range_header or "none").encode())
        return self.send_status(404)

    def read_head(self):
        data = b""
        while b"\r\n\r\n" not in data:
            if len(data) > MAX_REQUEST_BYTES:
                return None
            try:
                chunk = self.request.recv(4096)
            except OSError:
                return None
            if not chunk:
                return None
            data += chunk
        lines = data.split(b"\r\n\r\n", 1)[0].decode("latin-1").split("\r\n")
        headers = {}
        for line in lines[1:]:
            name, _, value = line.partition(":")
            headers[name.strip().lower()] = value.strip()
        return lines[0], headers

    def send_head(self, status, fields):
        lines = ["HTTP/1.1 %d %s" % (status, "Status")]
        lines += ["%s: %s" % field for field in fields]
        lines += ["Connection: close", "", ""]
        self.request.sendall("\r\n".join(lines).encode())

    def send_body(self, status, body):
        self.send_head(status, [("Content-Type", "text/plain"), ("Content-Length", str(len(body)))])
        self.request.sendall(body)

    def send_status(self, status):
        self.send_body(status, ("status %d\n" % status).encode())

    def send_file(self, name, start, cut_after=None, then=None, drip=None, with_length=True):
        path = os.path.join(self.server.root, os.path.basename(name))
        try:
            with open(path, "rb") as f:
                data = f.read()
        except OSError:
            return self.send_status(404)
        size = len(data)
        if start is not None and start >= size:
            return self.send_head(416, [("Content-Range", "bytes */%d" % size), ("Content-Length", "0")])
        if start is None:
            self.send_head(200, [("Content-Length", str(size))] if with_length else [])
            body = data
        else:
            self.send_head(206, [("Content-Range", "bytes %d-%d/%d" % (start, size - 1, size)),
                                 ("Content-Length", str(size - start))])
            body = data[start:]
        if cut_after is not None:
            self.request.sendall(body[:cut_after])
            time.sleep(0.2)  # let the bytes leave before the connection breaks
            return self.reset() if then == "reset" else self.stall()
        if drip:
            for offset in range(0, len(body), drip):
                self.request.sendall(body[offset:offset + drip])
                time.sleep(DRIP_INTERVAL_S)
            return
        self.request.sendall(body)

    def reset(self):
        # Linger with a zero time-out: close() sends RST instead of FIN.
        self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.request.close()

    def stall(self):
        # Keep the connection open, sending nothing, until the client leaves
        # or the server stops.
        self.request.settimeout(0.5)
        while not self.server.stopping.is_set():
            try:
                if not self.request.recv(4096):
                    return
            except socket.timeout:
                continue
            except OSError:
                return


class FaultServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, root, address=("127.0.0.1", 0)):
        super().__init__(address, Handler)
        self.root = root
        self.log = RequestLog()
        self.stopping = threading.Event()
        self._thread = None

    @property
    def port(self):
        return self.server_address[1]

    def handle_error(self, request, client_address):
        # Clients that give up mid-answer are what the tests are about.
        if isinstance(sys.exc_info()[1], OSError):
            return
        super().handle_error(request, client_address)

    def start(self):
        self._thread = threading.Thread(target=self.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self.stopping.set()
        self.shutdown()
        self.server_close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--listen", default="127.0.0.1:0")
    parser.add_argument("--lifetime", type=float, default=900)
    args = parser.parse_args()
    host, _, port = args.listen.rpartition(":")
    if not host.startswith("127."):
        sys.exit("fault_server: loopback addresses only")
    server = FaultServer(args.root, (host, int(port))).start()
    print(server.port, flush=True)
    try:
        time.sleep(args.lifetime)
    except KeyboardInterrupt:
        pass
    server.stop()


if __name__ == "__main__":
    main()
