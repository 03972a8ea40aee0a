#!/usr/bin/env python3
"""Runs a test program with the HTTP engine's servers on loopback.

    with_http_servers.py BUILD [--low-speed SECONDS] -- PROGRAM [ARGS...]

Writes the test files into a fresh folder and starts, all on loopback:
  - nginx serving that folder (nginx_server.py);
  - the fault-injecting server over the same folder (fault_server.py);
  - two DNS servers (dns_server.py): one answering "localhost" with
    127.0.0.2 (the address where nginx's alternative port listens) and every
    other name with no A record; one that never answers.

PROGRAM (a .exe runs through BUILD/wine-run) gets these variables:
  HTTP_TEST_NGINX       127.0.0.1:PORT of nginx
  HTTP_TEST_NGINX_ALT   the port nginx serves on 127.0.0.2 only
  HTTP_TEST_NGINX_LOG   nginx's access log, as a Windows path
  HTTP_TEST_FAULT       127.0.0.1:PORT of the fault server
  HTTP_TEST_DATA        the test files' folder, as a Windows path
  HTTP_TEST_DATA_UNIX   the same folder as a Linux path
  HTTP_TEST_DNS_SILENT  127.0.0.1:PORT of the DNS server that never answers
  INSTALLER_SPARE_DNS   127.0.0.1:PORT of the answering DNS server
  INSTALLER_LOW_SPEED_SECONDS  with --low-speed
Server pids are registered in BUILD/testbench/pids/ so the bench's stop ends
whatever an interrupted run leaves behind. Returns PROGRAM's exit status.
"""

import os
import random
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import dns_server  # noqa: E402
from fault_server import FaultServer  # noqa: E402
from nginx_server import NginxServer  # noqa: E402

SERVER_LIFETIME_S = 900
# name -> (size, seed): deterministic contents.
TEST_FILES = {
    "small.bin": (1000, 1),
    "tiny.bin": (50, 2),
    "medium.bin": (4 * 1024 * 1024, 3),
    "drip.bin": (60000, 4),
}


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def write_test_files(folder):
    for name, (size, seed) in TEST_FILES.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(random.Random(seed).randbytes(size))


class PidFiles:
    def __init__(self, build):
        self.folder = os.path.join(build, "testbench", "pids")
        os.makedirs(self.folder, exist_ok=True)
        self.paths = []

    def add(self, name, pid):
        path = os.path.join(self.folder, "http-%s-%d.pid" % (name, os.getpid()))
        with open(path, "w") as f:
            f.write("%d\n" % pid)
        self.paths.append(path)

    def remove_all(self):
        for path in self.paths:
            if os.path.exists(path):
                os.remove(path)


def parse(argv):
    if "--" not in argv or len(argv) < 3:
        sys.exit(__doc__)
    split = argv.index("--")
    build, options, program = os.path.abspath(argv[0]), argv[1:split], argv[split + 1:]
    low_speed = None
    if options[:1] == ["--low-speed"] and len(options) == 2:
        low_speed = options[1]
    elif options:
        sys.exit(__doc__)
    return build, low_speed, program


def main(argv):
    build, low_speed, program = parse(argv)
    data = tempfile.mkdtemp(prefix="http-test-data-")
    os.chmod(data, 0o755)  # nginx's workers run as nobody
    write_test_files(data)
    pids = PidFiles(build)
    nginx = fault = None
    dns = []
    try:
        nginx = NginxServer(data).start()
        pids.add("nginx", nginx.process.pid)
        fault = FaultServer(data).start()
        for args in (["--answer", "localhost=127.0.0.2", "--default", "no-a"], ["--default", "silent"]):
            name = "dns%d" % len(dns)
            dns.append(dns_server.start_child(args, SERVER_LIFETIME_S,
                                              lambda pid, name=name: pids.add(name, pid)))
        env = dict(os.environ,
                   HTTP_TEST_NGINX="127.0.0.1:%d" % nginx.port,
                   HTTP_TEST_NGINX_ALT=str(nginx.alt_port),
                   HTTP_TEST_NGINX_LOG=windows_path(nginx.access_log),
                   HTTP_TEST_FAULT="127.0.0.1:%d" % fault.port,
                   HTTP_TEST_DATA=windows_path(data),
                   HTTP_TEST_DATA_UNIX=data,
                   HTTP_TEST_DNS_SILENT=dns[1][1],
                   INSTALLER_SPARE_DNS=dns[0][1])
        if low_speed:
            env["INSTALLER_LOW_SPEED_SECONDS"] = low_speed
        if program[0].lower().endswith(".exe"):
            program = [os.path.join(build, "wine-run")] + program
        return subprocess.call(program, env=env)
    finally:
        for process, _ in dns:
            dns_server.stop_child(process)
        if fault:
            fault.stop()
        if nginx:
            nginx.stop()
        pids.remove_all()
        shutil.rmtree(data, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
