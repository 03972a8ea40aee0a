#!/usr/bin/env python3
"""Download throughput of the installer's HTTP engine against curl.exe.

    download_bench.py BUILD [--curl CURL_EXE] [--size-mib 256] [--runs 3]

Serves one file of SIZE MiB from a private nginx on loopback and downloads it,
in the same run, with BUILD/httpfetch.exe (the real engine: workshop thread,
task manager, 500 ms timer, message loop) and with curl.exe built from the
same libcurl sources, both under the same Wine prefix, into the same folder,
RUNS times each, alternating. Prints the median wall time, throughput and CPU
time of each and the ratios (ours / curl's).

CPU time is that of the Windows process and its Wine loader (the children's
rusage) plus what the persistent wineserver spent meanwhile, since a Windows
program's socket and file calls partly run there.

The bench's Wine display and wineserver are started and stopped around the
run (tests/bench/testbench). Other builds on the machine skew the figures;
the ratios, measured in the same run, much less so.
"""

import argparse
import hashlib
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "servers"))

from nginx_server import NginxServer  # noqa: E402

CHUNK = 1 << 20


def windows_path(path):
    return "Z:" + path.replace("/", "\\")


def write_payload(path, size_mib):
    digest = hashlib.md5()
    block = os.urandom(CHUNK)
    with open(path, "wb") as f:
        for i in range(size_mib):
            chunk = block[:-4] + i.to_bytes(4, "little")  # no two MiB alike
            f.write(chunk)
            digest.update(chunk)
    return digest.hexdigest()


def md5_of(path):
    digest = hashlib.md5()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(CHUNK), b""):
            digest.update(chunk)
    return digest.hexdigest()


def wineserver_cpu_seconds(prefix):
    """CPU seconds (user + system) of the wineserver of one Wine prefix.

    Each prefix has its own server, working in a folder named after the
    prefix's device and inode; other builds' servers are left out."""
    info = os.stat(prefix)
    suffix = "/server-%x-%x" % (info.st_dev, info.st_ino)
    ticks = os.sysconf("SC_CLK_TCK")
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            if not os.readlink("/proc/%s/cwd" % pid).endswith(suffix):
                continue
            with open("/proc/%s/stat" % pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            return (int(fields[11]) + int(fields[12])) / ticks
        except OSError:
            continue
    return 0.0


def timed_run(command, output, prefix):
    if os.path.exists(output):
        os.remove(output)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    server_before = wineserver_cpu_seconds(prefix)
    start = time.monotonic()
    result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall = time.monotonic() - start
    server_cpu = wineserver_cpu_seconds(prefix) - server_before
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime) + server_cpu
    if result.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (command[1], result.returncode, result.stderr[-500:]))
    return wall, cpu


def default_curl():
    prefix = subprocess.run([os.path.join(ROOT, "scripts", "build-curl")], stdout=subprocess.PIPE, text=True,
                            check=True).stdout.strip()
    return os.path.join(prefix, "bin", "curl.exe")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build")
    parser.add_argument("--curl")
    parser.add_argument("--size-mib", type=int, default=256)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    curl = args.curl or default_curl()
    wine_run = os.path.join(build, "wine-run")
    testbench = os.path.join(ROOT, "tests", "bench", "testbench")

    served = tempfile.mkdtemp(prefix="bench-http-served-")
    os.chmod(served, 0o755)  # nginx's workers run as nobody
    target = tempfile.mkdtemp(prefix="bench-http-out-", dir=os.path.dirname(served))
    payload = os.path.join(served, "payload.bin")
    print("writing a %d MiB payload..." % args.size_mib, flush=True)
    expected_md5 = write_payload(payload, args.size_mib)
    size = os.path.getsize(payload)

    subprocess.run([testbench, "start", build], check=True, stdout=subprocess.DEVNULL)
    nginx = NginxServer(served).start()
    results = {"httpfetch": [], "curl": []}
    try:
        url = "http://127.0.0.1:%d/payload.bin" % nginx.port
        ours = os.path.join(target, "httpfetch.bin")
        theirs = os.path.join(target, "curl.bin")
        commands = {
            "httpfetch": [wine_run, os.path.join(build, "httpfetch.exe"), url, windows_path(ours),
                          "--size", str(size)],
            "curl": [wine_run, curl, "-s", "-S", "-o", windows_path(theirs), url],
        }
        outputs = {"httpfetch": ours, "curl": theirs}
        prefix = os.path.join(build, "wineprefix")
        timed_run(commands["curl"], theirs, prefix)  # warm the page cache and Wine
        for run in range(args.runs):
            for name in ("httpfetch", "curl"):
                wall, cpu = timed_run(commands[name], outputs[name], prefix)
                if md5_of(outputs[name]) != expected_md5:
                    raise RuntimeError("%s wrote a file that differs from the served one" % name)
                results[name].append((wall, cpu))
                print("run %d %-9s wall %6.2f s  cpu %6.2f s  %7.1f MiB/s" %
                      (run + 1, name, wall, cpu, size / wall / CHUNK), flush=True)
    finally:
        nginx.stop()
        subprocess.run([testbench, "stop", build], stdout=subprocess.DEVNULL)
        shutil.rmtree(served, ignore_errors=True)
        shutil.rmtree(target, ignore_errors=True)

    medians = {}
    for name, samples in results.items():
        wall = statistics.median(s[0] for s in samples)
        cpu = statistics.median(s[1] for s in samples)
        medians[name] = (wall, cpu)
        print("median %-9s wall %6.2f s  cpu %6.2f s  %7.1f MiB/s" % (name, wall, cpu, size / wall / CHUNK))
    ours, theirs = medians["httpfetch"], medians["curl"]
    print("throughput ratio (httpfetch / curl): %.3f  (goal >= 0.95)" % (theirs[0] / ours[0]))
    print("cpu time ratio   (httpfetch / curl): %.3f  (goal <= 1.10)" % (ours[1] / theirs[1]))


if __name__ == "__main__":
    main()
