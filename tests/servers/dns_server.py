#!/usr/bin/env python3
"""A small scriptable DNS server on a loopback UDP port, for tests.

    dns_server.py --listen 127.0.0.1:PORT
                  [--answer NAME=IP[,IP...]]... [--fault NAME=MODE]...
                  [--default MODE] [--pid-file PATH] [--lifetime SECONDS]
                  [--verbose]

--listen   a loopback address and port; with port 0 the system picks one.
           The bound port is printed alone on the first line of stdout
           (always, so a caller can wait for that line to know it is ready).
--answer   the A records given for NAME, in this order; NAME "*" gives the
           records of names that have none of their own.
--fault    how queries for NAME are answered (the MODE list is below); the
           records come from --answer (for NAME, else "*"), else 127.0.0.1.
--default  the MODE for names without --answer or --fault (nxdomain if not
           given); "--default silent" makes a server that never replies.
--pid-file the server writes its pid there and removes it when it stops.
--lifetime the server stops by itself after this many seconds (900).
--verbose  one line per query on stderr.

NAME is compared without case and without a trailing dot. Queries are
answered in the order they arrive; the server keeps no state between them.

MODE            reply
answer          the A records, owner names compressed to the question
silent          none
nxdomain        RCODE 3, no records
empty           no error, no records (ANCOUNT 0)
foreign-id      the answer with a different ID
truncated       the answer with the TC bit set
authoritative   the answer with the AA bit set
no-a            one AAAA record (::1) and no A record
cname           a CNAME to "alias.NAME" before the A records of the alias,
                written with chained compression pointers
short           a 6-byte datagram, then the answer
pointer-loop    the first record's owner name is a pointer to itself
pointer-past-end  the first record's owner name points past the datagram
cut             the answer cut in the middle of the last record's data
rdlength-past-end  the last record claims more data than the datagram holds
question-pointer   the question name is a compression pointer

Stops on SIGTERM or SIGINT. Python 3 standard library only. Used as a
module, start_child() runs the server as a child process of the caller and
stop_child() ends it.
"""

import argparse
import ipaddress
import os
import select
import signal
import socket
import struct
import subprocess
import sys
import time

MODES = {
    "answer", "silent", "nxdomain", "empty", "foreign-id", "truncated",
    "authoritative", "no-a", "cname", "short", "pointer-loop",
    "pointer-past-end", "cut", "rdlength-past-end", "question-pointer",
}

TYPE_A, TYPE_CNAME, TYPE_AAAA, CLASS_IN = 1, 5, 28, 1
FLAG_QR, FLAG_AA, FLAG_TC, FLAG_RD, FLAG_RA = 0x8000, 0x0400, 0x0200, 0x0100, 0x0080
QUESTION_NAME_OFFSET = 12
POINTER_TO_QUESTION = b"\xc0\x0c"
MAX_QUERY = 512


def normal_name(name):
    return name.rstrip(".").lower()


def encode_name(name):
    out = b""
    for label in name.split("."):
        if label:
            data = label.encode()
            out += bytes([len(data)]) + data
    return out + b"\x00"


def parse_query(data):
    """(id bytes, flags, name, rest after the question) or None."""
    if len(data) < 12:
        return None
    flags, qdcount = struct.unpack("!HH", data[2:6])
    if flags & FLAG_QR or qdcount < 1:
        return None
    pos, labels = 12, []
    while True:
        if pos >= len(data):
            return None
        length = data[pos]
        if length == 0:
            pos += 1
            break
        if length >= 64 or pos + 1 + length > len(data):
            return None
        labels.append(data[pos + 1:pos + 1 + length].decode("utf-8", "replace"))
        pos += 1 + length
    if pos + 4 > len(data):
        return None
    return data[:2], flags, ".".join(labels), data[12:pos + 4]


def record(owner, rtype, rdata, ttl=60):
    return owner + struct.pack("!HHIH", rtype, CLASS_IN, ttl, len(rdata)) + rdata


def build_reply(query_id, query_flags, name, question, mode, addresses):
    """The datagrams to send back for one query, in order."""
    flags = FLAG_QR | (query_flags & FLAG_RD) | FLAG_RA
    rcode = 0
    records = []
    if mode == "nxdomain":
        rcode = 3
    elif mode == "no-a":
        records.append(record(POINTER_TO_QUESTION, TYPE_AAAA, bytes(15) + b"\x01"))
    elif mode == "cname":
        # The CNAME's data is "alias" plus a pointer to the question; each A
        # record's owner points at that data, so decoding follows two pointers.
        cname_data_offset = 12 + len(question) + len(POINTER_TO_QUESTION) + 10
        records.append(record(POINTER_TO_QUESTION, TYPE_CNAME, b"\x05alias" + POINTER_TO_QUESTION))
        alias = struct.pack("!H", 0xC000 | cname_data_offset)
        records += [record(alias, TYPE_A, socket.inet_aton(a)) for a in addresses]
    elif mode != "empty":
        records = [record(POINTER_TO_QUESTION, TYPE_A, socket.inet_aton(a)) for a in addresses]

    if mode == "foreign-id":
        query_id = bytes(b ^ 0xFF for b in query_id)
    if mode == "truncated":
        flags |= FLAG_TC
    if mode == "authoritative":
        flags |= FLAG_AA
    if mode == "question-pointer":
        question = POINTER_TO_QUESTION + question[-4:]

    header = query_id + struct.pack("!HHHHH", flags | rcode, 1, len(records), 0, 0)
    answer_offset = len(header) + len(question)
    if mode == "pointer-loop":
        records[0] = struct.pack("!H", 0xC000 | answer_offset) + records[0][2:]
    elif mode == "pointer-past-end":
        records[0] = b"\xc3\xff" + records[0][2:]
    elif mode == "rdlength-past-end":
        last = records[-1]
        records[-1] = last[:-6] + struct.pack("!H", 200) + last[-4:]
    reply = header + question + b"".join(records)
    if mode == "cut":
        reply = reply[:-2]
    if mode == "short":
        return [query_id + b"\x81\x80\x00\x01", reply]
    return [reply]


def parse_listen(text):
    host, _, port = text.rpartition(":")
    if not ipaddress.ip_address(host).is_loopback:
        raise argparse.ArgumentTypeError("only loopback addresses may be used: " + host)
    return host, int(port)


def parse_args(argv):
    parser = argparse.ArgumentParser(description="Scriptable DNS server for tests (loopback only).")
    parser.add_argument("--listen", type=parse_listen, required=True)
    parser.add_argument("--answer", action="append", default=[])
    parser.add_argument("--fault", action="append", default=[])
    parser.add_argument("--default", default="nxdomain", choices=sorted(MODES))
    parser.add_argument("--pid-file")
    parser.add_argument("--lifetime", type=float, default=900.0)
    parser.add_argument("--verbose", action="store_true")
    args = parser.parse_args(argv)
    args.answers, args.faults = {}, {}
    for item in args.answer:
        name, _, addresses = item.partition("=")
        args.answers[normal_name(name)] = [a for a in addresses.split(",") if a]
        for address in args.answers[normal_name(name)]:
            socket.inet_aton(address)
    for item in args.fault:
        name, _, mode = item.partition("=")
        if mode not in MODES:
            parser.error("unknown mode %r for %s" % (mode, name))
        args.faults[normal_name(name)] = mode
    return args


def main(argv):
    args = parse_args(argv)
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(args.listen)
    print(sock.getsockname()[1], flush=True)
    if args.pid_file:
        with open(args.pid_file, "w") as f:
            f.write("%d\n" % os.getpid())

    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))
    signal.signal(signal.SIGINT, lambda *_: stopping.append(True))
    deadline = time.monotonic() + args.lifetime
    try:
        while not stopping and time.monotonic() < deadline:
            try:
                readable, _, _ = select.select([sock], [], [], 0.2)
            except InterruptedError:
                continue
            if not readable:
                continue
            data, peer = sock.recvfrom(MAX_QUERY)
            query = parse_query(data)
            if query is None:
                continue
            query_id, flags, name, question = query
            key = normal_name(name)
            if key in args.faults:
                mode = args.faults[key]
            elif key in args.answers:
                mode = "answer"
            else:
                mode = args.default
            if args.verbose:
                print("query %s from %s:%d: %s" % (name, peer[0], peer[1], mode), file=sys.stderr, flush=True)
            if mode == "silent":
                continue
            addresses = args.answers.get(key, args.answers.get("*", ["127.0.0.1"]))
            for datagram in build_reply(query_id, flags, name, question, mode, addresses):
                sock.sendto(datagram, peer)
    finally:
        sock.close()
        if args.pid_file:
            try:
                os.remove(args.pid_file)
            except OSError:
                pass
    return 0


def start_child(args, lifetime_s, register=None):
    """Runs the server with `args` as a child process on 127.0.0.1, on a port
    of the system's choice. `register` is called with its pid at once (so a
    server that never gets ready can still be ended from outside). Returns
    (process, "127.0.0.1:PORT") once it listens."""
    process = subprocess.Popen(
        [sys.executable, os.path.abspath(__file__), "--listen", "127.0.0.1:0",
         "--lifetime", str(lifetime_s)] + args,
        stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
    if register:
        register(process.pid)
    port = process.stdout.readline().strip()
    if not port.isdigit():
        process.kill()
        raise RuntimeError("dns_server.py did not start")
    return process, "127.0.0.1:" + port


def stop_child(process, timeout_s=10):
    """Ends a child of start_child, by force when it does not stop in time."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=timeout_s)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
