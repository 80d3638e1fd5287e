#!/usr/bin/env python3
"""Benchmarks of the transfer code against the tools an operator knows:
updater md5 vs md5sum, updater unzip vs Info-ZIP unzip, updater download vs
curl. Each figure is measured in the same run; Wine's start-up (a run of the
same program on an empty input) is taken off the updater's times.

usage: transfer_bench.py BUILD_DIR WORK_DIR [--quick]
"""
import contextlib
import os
import random
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
RUNS = 3


def best(cmd, runs=RUNS, before=None, **kw):
    times = []
    for _ in range(runs):
        if before:
            before()
        t = time.perf_counter()
        subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, **kw)
        times.append(time.perf_counter() - t)
    return min(times)


def make_file(path, size):
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    with open(path + ".part", "wb") as f:
        left = size
        while left:
            n = min(left, 64 << 20)
            f.write(os.urandom(n))
            left -= n
    os.replace(path + ".part", path)


def make_tree_zip(work, files, total):
    archive = os.path.join(work, "tree.zip")
    if os.path.exists(archive):
        return archive
    tree = os.path.join(work, "tree")
    shutil.rmtree(tree, ignore_errors=True)
    rng = random.Random(1)
    weights = [rng.random() + 0.05 for _ in range(files)]
    scale = total / sum(weights)
    sizes = [int(w * scale) for w in weights]
    sizes[-1] += total - sum(sizes)
    # Half as compressible as text: bytes from a 16-letter alphabet.
    table = bytes.maketrans(bytes(range(256)), bytes(b"abcdefghijklmnop"[i % 16] for i in range(256)))
    for i, size in enumerate(sizes):
        d = os.path.join(tree, "dir%02d" % (i % 40), "sub%d" % (i % 3))
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "file%04d.dat" % i), "wb") as f:
            f.write(os.urandom(size).translate(table))
    subprocess.run(["zip", "-q", "-r", "-6", archive, "."], cwd=tree, check=True)
    shutil.rmtree(tree)
    return archive


@contextlib.contextmanager
def desktop_held(build):
    """Windows always has a desktop. Wine starts one for the first window of a
    process (0.1 s here) and ends it a second after the last process left: a
    process that waits on it keeps one desktop open for every timed run."""
    holder = subprocess.Popen([WINE_RUN, os.path.join(build, "tests", "driver.exe"), "wait-window",
                               "no window has this title", "1800000"],
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        for _ in range(200):  # ten seconds at most
            if subprocess.run(["pgrep", "-f", "explorer.exe /desktop"], stdout=subprocess.DEVNULL).returncode == 0:
                break
            time.sleep(0.05)
        yield
    finally:
        holder.kill()
        holder.wait()


def updater(build, *args):
    return [WINE_RUN, os.path.join(build, "tools", "updater.exe")] + list(args)


def wine_path(path):
    return "Z:" + path.replace("/", "\\")


def bench_md5(build, work, size):
    data = os.path.join(work, "md5.bin")
    make_file(data, size)
    empty = os.path.join(work, "empty.bin")
    open(empty, "wb").close()
    ours = subprocess.run(updater(build, "md5", wine_path(data)), check=True, capture_output=True, text=True)
    ref = subprocess.run(["md5sum", data], check=True, capture_output=True, text=True)
    assert ours.stdout.split()[0] == ref.stdout.split()[0], "digests differ"
    start = best(updater(build, "md5", wine_path(empty)))
    t_ref = best(["md5sum", data])
    t_ours = best(updater(build, "md5", wine_path(data))) - start
    print("md5      %5d MiB: md5sum %.2f s, updater %.2f s (+%.2f s Wine start) -> throughput ratio %.2f (target >= 0.90)"
          % (size >> 20, t_ref, t_ours, start, t_ref / t_ours))


def bench_unzip(build, work, files, total):
    archive = make_tree_zip(work, files, total)
    out_ref = os.path.join(work, "unzip-ref")
    out_ours = os.path.join(work, "unzip-ours")
    empty_zip = os.path.join(work, "empty.zip")
    if not os.path.exists(empty_zip):
        with open(os.path.join(work, "one.txt"), "w") as f:
            f.write("x")
        subprocess.run(["zip", "-q", empty_zip, "one.txt"], cwd=work, check=True)
    clean = lambda: [shutil.rmtree(d, ignore_errors=True) for d in (out_ref, out_ours)]
    start = best(updater(build, "unzip", wine_path(empty_zip), wine_path(out_ours)), before=clean)
    t_ref = best(["unzip", "-q", "-o", archive, "-d", out_ref], before=clean)
    t_ours = best(updater(build, "unzip", wine_path(archive), wine_path(out_ours)), before=clean) - start
    # Same files, same bytes.
    subprocess.run(["unzip", "-q", "-o", archive, "-d", out_ref], check=True)
    diff = subprocess.run(["diff", "-r", out_ref, out_ours], capture_output=True)
    assert diff.returncode == 0, "extracted trees differ"
    clean()
    print("unzip    %d files, %d MiB: unzip %.2f s, updater %.2f s (+%.2f s Wine start) -> speed ratio %.2f (target >= 1.00)"
          % (files, total >> 20, t_ref, t_ours, start, t_ref / t_ours))


def bench_download(build, work, size):
    # nginx: a server that is not itself the bottleneck for curl or for us.
    httpd = os.path.join(work, "nginx")
    www = os.path.join(httpd, "www")
    os.makedirs(www, exist_ok=True)
    data = os.path.join(www, "big.bin")
    make_file(data, size)
    open(os.path.join(www, "empty.bin"), "wb").close()
    script = os.path.join(ROOT, "tests", "e2e", "nginx-serve.sh")
    subprocess.run([script, "start", httpd, www], check=True)
    try:
        port = open(os.path.join(httpd, "port")).read().split()[0]
        url = "http://127.0.0.1:%s/big.bin" % port
        out_ref = os.path.join(work, "dl-ref.bin")
        out_ours = os.path.join(work, "dl-ours.bin")
        def settle():
            # Each run writes a new file onto a disk with nothing left to write
            # back: the last run's dirty pages otherwise slow the next one.
            for p in (out_ref, out_ours):
                if os.path.exists(p):
                    os.remove(p)
            os.sync()
        start = best(updater(build, "download", url.replace("big", "empty"), wine_path(out_ours)))
        t_ref = best(["curl", "-s", "-o", out_ref, url], runs=5, before=settle)
        t_ours = best(updater(build, "download", url, wine_path(out_ours)), runs=5, before=settle) - start
        subprocess.run(["curl", "-s", "-o", out_ref, url], check=True)
        peak = subprocess.run(["/usr/bin/time", "-f", "%M"] + updater(build, "download", url, wine_path(out_ours)),
                              check=True, capture_output=True, text=True).stderr.strip().splitlines()[-1]
        assert subprocess.run(["cmp", "-s", out_ref, out_ours]).returncode == 0, "downloads differ"
        base = subprocess.run(["/usr/bin/time", "-f", "%M"] + updater(build, "download", url.replace("big", "empty"),
                                                                      wine_path(out_ours)),
                              check=True, capture_output=True, text=True).stderr.strip().splitlines()[-1]
        for p in (out_ref, out_ours):
            os.remove(p)
        print("download %5d MiB: curl %.2f s, updater %.2f s (+%.2f s Wine start) -> throughput ratio %.2f (target >= 0.90)"
              % (size >> 20, t_ref, t_ours, start, t_ref / t_ours))
        print("download peak memory: %.1f MiB for the whole Wine process (%.1f MiB for an empty download)"
              % (int(peak) / 1024.0, int(base) / 1024.0))
    finally:
        subprocess.run([script, "stop", httpd], check=True)


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    build, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    quick = "--quick" in sys.argv
    os.makedirs(work, exist_ok=True)
    if quick:
        work = os.path.join(work, "quick")
        os.makedirs(work, exist_ok=True)
        bench_md5(build, work, 256 << 20)
        bench_unzip(build, work, 200, 32 << 20)
        bench_download(build, work, 128 << 20)
    else:
        bench_md5(build, work, 2 << 30)
        bench_unzip(build, work, 2000, 512 << 20)
        bench_download(build, work, 1 << 30)


if __name__ == "__main__":
    main()
