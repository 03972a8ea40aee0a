#!/usr/bin/env python3
"""A private nginx on loopback serving one folder, for tests and benchmarks.

    nginx_server.py --root DIR [--alt-address 127.0.0.2] [--lifetime SECONDS]

Prints "PORT ALTPORT" on the first line of stdout once nginx accepts
connections: PORT on 127.0.0.1 and ALTPORT on the alternative address only
(with nothing listening on 127.0.0.1:ALTPORT, so a URL naming "localhost"
fails there while the alternative address works). Used as a module,
NginxServer(root).start() does the same for the caller.

Besides the files of the folder it answers:
    /redirect/NAME   302 to /NAME
    /moved/NAME      301 to /NAME
and logs one line per request, "URI RANGE STATUS", into access.log in its
work folder (RANGE "-" when none was sent). The folder and its parents must
be readable by others: nginx's workers run as nobody.
"""

import argparse
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

START_TIMEOUT_S = 10
CONFIG = """daemon off;
master_process on;
worker_processes 1;
pid {work}/nginx.pid;
error_log {work}/error.log;
events {{ worker_connections 512; }}
http {{
  log_format ranged '$request_uri $http_range $status';
  access_log {work}/access.log ranged;
  client_body_temp_path {work}/body;
  proxy_temp_path {work}/proxy;
  fastcgi_temp_path {work}/fastcgi;
  uwsgi_temp_path {work}/uwsgi;
  scgi_temp_path {work}/scgi;
  default_type application/octet-stream;
  sendfile on;
  keepalive_timeout 5;
  server {{
    listen 127.0.0.1:{port};
    listen {alt_address}:{alt_port};
    root {root};
    location /redirect/ {{ rewrite ^/redirect/(.*)$ /$1 redirect; }}
    location /moved/ {{ rewrite ^/moved/(.*)$ /$1 permanent; }}
  }}
}}
"""


def free_port(addresses):
    """A TCP port that is free on every one of the addresses."""
    for _ in range(100):
        probe = socket.socket()
        probe.bind((addresses[0], 0))
        port = probe.getsockname()[1]
        probe.close()
        ok = True
        for address in addresses[1:]:
            other = socket.socket()
            try:
                other.bind((address, port))
            except OSError:
                ok = False
            finally:
                other.close()
        if ok:
            return port
    raise RuntimeError("no free port")


def accepts(address, port):
    try:
        with socket.create_connection((address, port), timeout=0.5):
            return True
    except OSError:
        return False


class NginxServer:
    def __init__(self, root, alt_address="127.0.0.2"):
        if not alt_address.startswith("127."):
            raise ValueError("loopback addresses only")
        self.root = os.path.abspath(root)
        self.alt_address = alt_address
        self.work = tempfile.mkdtemp(prefix="nginx-")
        os.chmod(self.work, 0o755)
        self.port = None
        self.alt_port = None
        self.process = None

    @property
    def access_log(self):
        return os.path.join(self.work, "access.log")

    def start(self):
        self.port = free_port(["127.0.0.1"])
        self.alt_port = free_port(["127.0.0.1", self.alt_address])
        config = os.path.join(self.work, "nginx.conf")
        with open(config, "w") as f:
            f.write(CONFIG.format(work=self.work, port=self.port, alt_address=self.alt_address,
                                  alt_port=self.alt_port, root=self.root))
        self.process = subprocess.Popen(
            ["nginx", "-p", self.work, "-c", config, "-e", os.path.join(self.work, "error.log")],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + START_TIMEOUT_S
        while not (accepts("127.0.0.1", self.port) and accepts(self.alt_address, self.alt_port)):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.stop()
                raise RuntimeError("nginx did not start; see " + os.path.join(self.work, "error.log"))
            time.sleep(0.05)
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        shutil.rmtree(self.work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--alt-address", default="127.0.0.2")
    parser.add_argument("--lifetime", type=float, default=900)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))  # stop nginx on the way out
    server = NginxServer(args.root, args.alt_address).start()
    print(server.port, server.alt_port, flush=True)
    try:
        time.sleep(args.lifetime)
    except KeyboardInterrupt:
        pass
    finally:
        server.stop()


if __name__ == "__main__":
    main()
