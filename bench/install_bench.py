#!/usr/bin/env python3
"""Installing a package of many files with `updater install` (backups of
replaced files kept) against the pipeline unzip + cp -r + md5sum over the
same files, measured in one run.

usage: install_bench.py BUILD_DIR WORK_DIR [FILES MIB]
"""
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import transfer_bench as tb  # noqa: E402

CFG = ('<?xml version="1.0"?>\n<Root><Version><LastVersion>0000099</LastVersion><CurVersion>0000100</CurVersion>'
       '<ClientVer>0000100</ClientVer><DownloadedFileVersion>0000100</DownloadedFileVersion></Version>'
       '<ManualUpdateURL NormalURL=""/><InternetUpdate><UpdateInfoURL>http://127.0.0.1:9/x.zip</UpdateInfoURL>'
       '</InternetUpdate></Root>\n')


def timed(cmd, ok=(0,), **kw):
    t = time.perf_counter()
    rc = subprocess.run(cmd, stdout=subprocess.DEVNULL, **kw).returncode
    assert rc in ok, "%s failed with %d" % (cmd[0], rc)
    return time.perf_counter() - t


def fresh_game(game, old):
    shutil.rmtree(game, ignore_errors=True)
    shutil.copytree(old, game)
    os.makedirs(os.path.join(game, "PatchCfg"), exist_ok=True)
    with open(os.path.join(game, "PatchCfg", "NewUpdateCfg.xml"), "w") as f:
        f.write(CFG)
    # Earlier runs' dirty pages are written out before the next one is timed.
    os.sync()


def prepare(build, work, files, mib):
    """The old and new trees and the package between them (made once); the work folder and the package."""
    work = os.path.join(work, "install-%d-%d" % (files, mib))
    os.makedirs(work, exist_ok=True)
    archive = tb.make_tree_zip(work, files, mib << 20)
    new = os.path.join(work, "new")
    if not os.path.isdir(new):
        subprocess.run(["unzip", "-q", archive, "-d", new], check=True)
    # Every fourth file of the old installation is replaced, so backups are made.
    old = os.path.join(work, "old")
    if not os.path.isdir(old):
        os.makedirs(old)
        for root, _, names in os.walk(new):
            for i, n in enumerate(sorted(names)):
                if i % 4 == 0:
                    rel = os.path.relpath(os.path.join(root, n), new)
                    os.makedirs(os.path.dirname(os.path.join(old, rel)), exist_ok=True)
                    with open(os.path.join(old, rel), "wb") as f:
                        f.write(b"old contents")
    pkg = os.path.join(work, "pkg.exe")
    if not os.path.exists(pkg):
        subprocess.run(tb.updater(build, "md5", "x")[:1] + [os.path.join(build, "tools", "patchtool.exe"), "pack",
                        "--old", tb.wine_path(old), "--new", tb.wine_path(new), "--from", "0000100", "--to",
                        "0000200", "-o", tb.wine_path(pkg)], check=True, stdout=subprocess.DEVNULL)
    return work, pkg


def wine_start(build, game, old, pkg):
    """Wine's start, with an installation that fails at once (no such package)."""
    fresh_game(game, old)
    t0 = time.perf_counter()
    subprocess.run(tb.updater(build, "install", tb.wine_path(pkg + ".none"), "--dir", tb.wine_path(game)),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - t0


def install_times(build, game, old, pkg, start, runs=2):
    ours = []
    for _ in range(runs):
        fresh_game(game, old)
        ours.append(timed(tb.updater(build, "install", tb.wine_path(pkg), "--dir", tb.wine_path(game))) - start)
    return ours


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    build, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    files = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
    mib = int(sys.argv[4]) if len(sys.argv) > 4 else 512
    work, pkg = prepare(build, work, files, mib)
    old, new = os.path.join(work, "old"), os.path.join(work, "new")

    game = os.path.join(work, "game")
    start = wine_start(build, game, old, pkg)
    ours = install_times(build, game, old, pkg, start)
    diff = subprocess.run(["diff", "-r", "--exclude=PatchCfg", new, game], capture_output=True)
    assert diff.returncode == 0, "installed tree differs from the new tree"

    ref = []
    tmp = os.path.join(work, "ref-tmp")
    for _ in range(2):
        fresh_game(game, old)
        shutil.rmtree(tmp, ignore_errors=True)
        # Exit code 1 is unzip's warning about the bytes before the archive.
        t_unzip = timed(["unzip", "-q", "-o", pkg, "-x", "filelist.xml", "-d", tmp], ok=(0, 1),
                        stderr=subprocess.DEVNULL)
        t_cp = timed(["cp", "-r", tmp + "/.", game])
        listing = subprocess.run(["find", tmp, "-type", "f"], capture_output=True, text=True, check=True).stdout
        rels = [os.path.relpath(p, tmp) for p in listing.split()]
        t_md5 = timed(["xargs", "-0", "md5sum"], input="\0".join(rels).encode(), cwd=game)
        ref.append(t_unzip + t_cp + t_md5)
    shutil.rmtree(tmp, ignore_errors=True)
    shutil.rmtree(game, ignore_errors=True)
    print("install  %d files, %d MiB: unzip+cp+md5sum %.2f s, updater install %.2f s (+%.2f s Wine start) "
          "-> speed ratio %.2f (target >= 1.00)" % (files, mib, min(ref), min(ours), start, min(ref) / min(ours)))


if __name__ == "__main__":
    main()
