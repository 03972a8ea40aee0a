#!/usr/bin/env python3
"""httpfetch.exe against the loopback servers of with_http_servers.py.

    httpfetch_test.py BUILD

Checks the output lines, the exit codes and, by MD5 on the Linux side, the
downloaded file. Exits non-zero when a check fails.
"""

import hashlib
import os
import re
import subprocess
import sys
import tempfile

build = os.path.abspath(sys.argv[1])
nginx = os.environ["HTTP_TEST_NGINX"]
fault = os.environ["HTTP_TEST_FAULT"]
data = os.environ["HTTP_TEST_DATA_UNIX"]
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def httpfetch(*args):
    result = subprocess.run([os.path.join(build, "wine-run"), os.path.join(build, "httpfetch.exe")] + list(args),
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    return result.returncode, result.stdout.replace("\r", "").splitlines()


def md5(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def windows(path):
    return "Z:" + path.replace("/", "\\")


work = tempfile.mkdtemp(prefix="httpfetch-test-")
target = os.path.join(work, "medium.bin")
size = os.path.getsize(os.path.join(data, "medium.bin"))

# A download cut by a reset, resumed, checked by MD5.
code, lines = httpfetch("http://%s/fetch1/reset-first/1000000/medium.bin" % fault, windows(target),
                        "--size", str(size))
check(code == 0, "download exits 0")
check(lines[-1:] == ["finish type=0 code=0"], "download ends with finish type=0 code=0: %r" % lines[-1:])
progress = [l for l in lines if l.startswith("progress ")]
check(progress and all(re.fullmatch(r"progress total=%d done=\d+ speed=\d+" % size, l) for l in progress),
      "progress lines name the total: %r" % progress[:2])
check(os.path.exists(target) and md5(target) == md5(os.path.join(data, "medium.bin")), "MD5 matches the served file")

# Complete already: no request, success.
code, lines = httpfetch("http://%s/medium.bin" % nginx, windows(target), "--size", str(size))
check(code == 0 and lines == ["finish type=0 code=0"], "a complete file finishes at once: %r" % lines)

# A mirror after a failing primary.
os.remove(target)
code, lines = httpfetch("http://%s/fetch2/status/404" % fault, windows(target), "--size", str(size),
                        "--mirrors", "http://%s/medium.bin" % nginx)
check(code == 0 and md5(target) == md5(os.path.join(data, "medium.bin")), "the mirror is used")

# Failures exit non-zero with their pair.
code, lines = httpfetch("http://%s/small.bin" % nginx, windows(os.path.join(work, "s.bin")), "--size", "2000")
check(code == 1 and lines[-1:] == ["finish type=3 code=2007"], "length mismatch: %r" % lines[-1:])
code, lines = httpfetch("--command", "http://%s/small.bin" % nginx)
check(code == 0 and lines == ["body bytes=1000", "finish type=0 code=0"], "command: %r" % lines)
code, lines = httpfetch("--command", "http://%s/no-such-file" % nginx)
check(code == 1 and lines[-1:] == ["finish type=4 code=404"], "command 404: %r" % lines)
code, lines = httpfetch()
check(code == 2, "no arguments: usage")

subprocess.run(["rm", "-rf", work])
print("%d failure(s)" % len(failures))
sys.exit(1 if failures else 0)
