#!/usr/bin/env python3
"""A version step of a game made of a few large files with scattered changes
(per file: a 1 MiB insertion, 500 changes of 4 KiB, a 2 MiB deletion): bytes
of the delta package against the whole-file package and against xdelta3 with
default settings on the same files; `updater install` time of both packages
and the peak memory of the installing process, measured in one run.

usage: delta_bench.py BUILD_DIR HOST_BUILD_DIR WORK_DIR [FILES MIB]
"""
import os
import random
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import install_bench as ib  # noqa: E402
import transfer_bench as tb  # noqa: E402


def edited(data, rng):
    data = bytearray(data)
    at = rng.randrange(len(data))
    data[at:at] = rng.randbytes(1 << 20)
    for _ in range(500):
        at = rng.randrange(len(data) - 4096)
        data[at:at + 4096] = rng.randbytes(4096)
    at = rng.randrange(len(data) - (2 << 20))
    del data[at:at + (2 << 20)]
    return bytes(data)


def peak_install(build, game, old, pkg, start):
    """Seconds (Wine's start taken off) and peak resident KiB of updater install."""
    ib.fresh_game(game, old)
    t = time.perf_counter()
    out = subprocess.run(["/usr/bin/time", "-f", "%M"] + tb.updater(build, "install", tb.wine_path(pkg), "--dir",
                                                                      tb.wine_path(game)),
                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    seconds = time.perf_counter() - t - start
    assert out.returncode == 0, out.stderr
    return seconds, int(out.stderr.strip().splitlines()[-1])


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    build, host, work = (os.path.abspath(a) for a in sys.argv[1:4])
    files = int(sys.argv[4]) if len(sys.argv) > 4 else 3
    mib = int(sys.argv[5]) if len(sys.argv) > 5 else 64
    work = os.path.join(work, "delta-%d-%d" % (files, mib))
    shutil.rmtree(work, ignore_errors=True)
    rng = random.Random(16)
    old, new = os.path.join(work, "old"), os.path.join(work, "new")
    for i in range(files):
        data = rng.randbytes(mib << 20)
        for tree, content in ((old, data), (new, edited(data, rng))):
            os.makedirs(os.path.join(tree, "Data"), exist_ok=True)
            with open(os.path.join(tree, "Data", "archive%d.pak" % i), "wb") as f:
                f.write(content)
    patchtool = os.path.join(host, "tools", "patchtool")
    whole, delta = os.path.join(work, "whole.exe"), os.path.join(work, "delta.exe")
    t = time.perf_counter()
    subprocess.run([patchtool, "pack", "--old", old, "--new", new, "--from", "0000100", "--to", "0000200", "-o", whole],
                   check=True, stdout=subprocess.DEVNULL)
    t_whole = time.perf_counter() - t
    t = time.perf_counter()
    subprocess.run([patchtool, "pack", "--old", old, "--new", new, "--from", "0000100", "--to", "0000200", "-o", delta,
                    "--delta"], check=True, stdout=subprocess.DEVNULL)
    t_delta = time.perf_counter() - t
    xdelta = 0
    for i in range(files):
        name = "archive%d.pak" % i
        out = os.path.join(work, name + ".vcdiff")
        subprocess.run(["xdelta3", "-e", "-f", "-s", os.path.join(old, "Data", name), os.path.join(new, "Data", name),
                        out], check=True)
        xdelta += os.path.getsize(out)

    game = os.path.join(work, "game")
    start = ib.wine_start(build, game, old, whole)
    s_whole, m_whole = peak_install(build, game, old, whole, start)
    s_delta, m_delta = peak_install(build, game, old, delta, start)
    diff = subprocess.run(["diff", "-r", "--exclude=PatchCfg", new, game], capture_output=True)
    assert diff.returncode == 0, "the delta installation differs from the new tree"
    w, d = os.path.getsize(whole), os.path.getsize(delta)
    print("delta    %d files of %d MiB: whole-file package %.1f MiB (packed in %.1f s), delta package %.2f MiB "
          "(%.1f s) -> %.2f %% of the whole (target <= 5 %%); xdelta3 %.2f MiB -> %.0f %% of xdelta3 (target <= 110 %%)"
          % (files, mib, w / 1048576, t_whole, d / 1048576, t_delta, 100.0 * d / w, xdelta / 1048576, 100.0 * d / xdelta))
    print("install  whole-file %.2f s, peak %d MiB; delta %.2f s, peak %d MiB (Wine's process, +%.2f s start)"
          % (s_whole, m_whole >> 10, s_delta, m_delta >> 10, start))
    shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
