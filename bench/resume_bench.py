#!/usr/bin/env python3
"""Resumed and rate-limited downloads of `updater download`, against curl.

A package served by the scripted server (tests/transfer/httpd.py, range
route) is cut at 25, 50 and 75 % of its length, one cut per connection; the
updater continues it with ranges. Printed: the bytes the server sent against
the file's size, and the updater's time against an unbroken curl of the same
address (Wine's start-up, a run on a missing file, taken off). Then nginx
serves files to `updater download --limit-rate` at 1, 8 and 64 MiB/s for
about 3 and 6 s each; printed: the average rate of the transfer (the
difference of the two) against the limit.

usage: resume_bench.py BUILD_DIR WORK_DIR [--quick]
"""
import hashlib
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
HTTPD = os.path.join(ROOT, "tests", "transfer", "httpd.py")
NGINX = os.path.join(ROOT, "tests", "e2e", "nginx-serve.sh")
sys.path.insert(0, os.path.dirname(HTTPD))
import httpd  # noqa: E402  the pattern the scripted server sends


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def timed(cmd, check=True):
    t = time.perf_counter()
    r = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    if check and r.returncode != 0:
        sys.exit("failed (%d): %s\n%s" % (r.returncode, " ".join(cmd), r.stderr.decode(errors="replace")))
    return time.perf_counter() - t


def pattern_md5(size):
    h = hashlib.md5()
    for piece in httpd.pieces(0, size, 1):
        h.update(piece)
    return h.hexdigest()


def file_md5(path):
    h = hashlib.md5()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def main():
    build, work = sys.argv[1], sys.argv[2]
    quick = "--quick" in sys.argv[3:]
    updater = os.path.join(build, "tools", "updater.exe")
    os.makedirs(work, exist_ok=True)
    servers = os.path.join(work, "httpd")
    subprocess.run([sys.executable, HTTPD, "start", servers], check=True)
    nginx = os.path.join(work, "nginx")
    www = os.path.join(nginx, "www")
    os.makedirs(www, exist_ok=True)
    subprocess.run([NGINX, "start", nginx, www], check=True)
    out = os.path.join(work, "resumed.bin")
    try:
        fault_port = int(open(os.path.join(servers, "ports")).read().split()[1])
        size = (64 if quick else 1024) << 20
        startup = min(timed(WINE_RUN.split() + [updater, "download", "http://127.0.0.1:%d/status/404" % fault_port,
                                                winpath(out)], check=False) for _ in range(3))
        # The unbroken reference: curl from the same server, same route.
        plain = "http://127.0.0.1:%d/range/plain%d/-/%d" % (fault_port, time.time_ns(), size)
        curl_time = min(timed(["curl", "-s", "-o", out, plain]) for _ in range(2))
        print("curl, unbroken: %d MiB in %.2f s (%.0f MiB/s)" % (size >> 20, curl_time, (size >> 20) / curl_time))
        # The better of two runs each: the machine is shared.
        cuts = ":".join(str(size * q // 4) for q in (1, 2, 3))
        updater_time = None
        for run in range(2):
            key = "cut%d" % time.time_ns()
            url = "http://127.0.0.1:%d/range/%s/cut=%s/%d" % (fault_port, key, cuts, size)
            for name in (out, out + ".part", out + ".resume"):
                if os.path.exists(name):
                    os.remove(name)
            t = timed([WINE_RUN, updater, "download", url, winpath(out)]) - startup
            updater_time = t if updater_time is None else min(updater_time, t)
            sent = sum(int(line.split()[1]) for line in open(os.path.join(servers, "sent.log"))
                       if line.split()[0] == key)
            requests = sum(1 for line in open(os.path.join(servers, "sent.log")) if line.split()[0] == key)
            if run == 0 and file_md5(out) != pattern_md5(size):
                sys.exit("the resumed file differs from the served one")
            os.remove(out)
        # The same download unbroken, to tell the cuts' cost from the updater's pace.
        whole = None
        for _ in range(2):
            t = timed([WINE_RUN, updater, "download", plain, winpath(out)]) - startup
            whole = t if whole is None else min(whole, t)
            os.remove(out)
        print("cut at 25/50/75 %% of %d MiB: %d requests, bytes received %.3f x the file; "
              "time %.2f s against an unbroken curl's %.2f s: ratio %.2f (Wine start-up %.2f s taken off); "
              "the updater unbroken: %.2f s, ratio %.2f"
              % (size >> 20, requests, sent / size, updater_time, curl_time, updater_time / curl_time, startup,
                 whole, updater_time / whole))

        nginx_port = int(open(os.path.join(nginx, "port")).read())
        seconds = 1 if quick else 3

        def average(mib, limit_kib):
            """MiB/s of the transfer alone: two lengths, the better of two runs
            each, and the difference of their times (start-up and request
            cancel out)."""
            times = []
            for scale in (1, 2):
                length = mib * seconds * scale << 20
                name = "limit.bin"
                with open(os.path.join(www, name), "wb") as f:
                    for piece in httpd.pieces(0, length, 1):
                        f.write(piece)
                target = os.path.join(work, name)
                cmd = [WINE_RUN, updater, "download", "http://127.0.0.1:%d/%s" % (nginx_port, name), winpath(target)]
                if limit_kib:
                    cmd += ["--limit-rate", str(limit_kib)]
                best = None
                for _ in range(2):
                    t = timed(cmd)
                    if os.path.getsize(target) != length:
                        sys.exit("the download is incomplete")
                    os.remove(target)
                    best = t if best is None else min(best, t)
                times.append(best)
                os.remove(os.path.join(www, name))
            return mib * seconds / (times[1] - times[0])

        # What the updater reaches without a limit (start-up taken off).
        length = 384 << 20
        with open(os.path.join(www, "free.bin"), "wb") as f:
            for piece in httpd.pieces(0, length, 1):
                f.write(piece)
        target = os.path.join(work, "free.bin")
        free = min(timed([WINE_RUN, updater, "download", "http://127.0.0.1:%d/free.bin" % nginx_port, winpath(target)])
                   for _ in range(2)) - startup
        os.remove(target)
        os.remove(os.path.join(www, "free.bin"))
        print("no limit: %.1f MiB/s, what the updater reaches on this machine (curl: see above)" % (384 / free))
        for mib in (1, 8, 64):
            rate = average(mib, mib * 1024)
            print("limit %2d MiB/s: average %.2f MiB/s (%+.1f %% of the limit)" % (mib, rate, (rate / mib - 1) * 100))
    finally:
        subprocess.run([NGINX, "stop", nginx])
        subprocess.run([sys.executable, HTTPD, "stop", servers])


if __name__ == "__main__":
    main()
