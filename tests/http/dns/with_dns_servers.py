#!/usr/bin/env python3
"""Runs a test program with scripted DNS servers on loopback.

    with_dns_servers.py BUILD --server NAME "SERVER ARGS" [--server ...]
                        -- PROGRAM [ARGS...]

Starts tests/servers/dns_server.py once per --server on 127.0.0.1 with a
port of its choice and the given arguments, registers each pid in
BUILD/testbench/pids/ (so the test bench's stop ends a server left behind),
runs PROGRAM through BUILD/wine-run with INSTALLER_SPARE_DNS set to the
servers' "127.0.0.1:PORT" in the order given, then stops the servers and
returns the program's exit status.
"""

import os
import shlex
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "servers"))

import dns_server  # noqa: E402

# The servers end by themselves after this long even if nobody stops them.
SERVER_LIFETIME_S = 600


def parse(argv):
    if "--" not in argv or len(argv) < 3:
        sys.exit(__doc__)
    split = argv.index("--")
    build, options, program = argv[0], argv[1:split], argv[split + 1:]
    servers = []
    while options:
        if options[0] != "--server" or len(options) < 3:
            sys.exit(__doc__)
        servers.append((options[1], shlex.split(options[2])))
        options = options[3:]
    return os.path.abspath(build), servers, program


def start_server(build, name, args):
    pid_file = os.path.join(build, "testbench", "pids", "%s-%d.pid" % (name, os.getpid()))
    os.makedirs(os.path.dirname(pid_file), exist_ok=True)

    def register(pid):
        with open(pid_file, "w") as f:
            f.write("%d\n" % pid)

    try:
        process, address = dns_server.start_child(args, SERVER_LIFETIME_S, register)
    except RuntimeError:
        sys.exit("%s did not start" % name)
    return process, pid_file, address


def stop_server(process, pid_file):
    dns_server.stop_child(process)
    os.remove(pid_file)


def main(argv):
    build, servers, program = parse(argv)
    started = []
    try:
        for name, args in servers:
            started.append(start_server(build, name, args))
        env = dict(os.environ, INSTALLER_SPARE_DNS=";".join(address for _, _, address in started))
        print("INSTALLER_SPARE_DNS=" + env["INSTALLER_SPARE_DNS"], flush=True)
        return subprocess.call([os.path.join(build, "wine-run")] + program, env=env)
    finally:
        for process, pid_file, _ in started:
            stop_server(process, pid_file)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
