#!/usr/bin/env python3
"""The chunk store in figures, each against its reference, measured in one run:

  bytes an update through chunks fetches (nginx's access log) for one changed
  byte and for a 1 MiB insertion in one large file, the manifest's size
  against the installation, and the bytes a repair of a damaged 4 KiB region
  fetches; any version to the latest over three releases of real software
  (npm packages as game versions) through chunks against the step chain's
  packages and one whole-file package of the latest; the full verify of
  2,000 files against b2sum, and the quick verify; the private memory of
  reading a manifest of 300,000 files and planning with it (32-bit process).

usage: chunks_bench.py BUILD_DIR WORK_DIR [MIB [PART,...]]
  MIB: the large file (default 1024); PART: large, any, verify, memory (default all)
"""
import os
import random
import shutil
import subprocess
import sys
import tarfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import transfer_bench as tb  # noqa: E402

ROOT = tb.ROOT
HOST_PATCHTOOL = os.path.join(ROOT, "build", "host", "tools", "patchtool")
NGINX = os.path.join(ROOT, "tests", "e2e", "nginx-serve.sh")
NPM_RELEASES = ["typescript@5.4.2", "typescript@5.4.3", "typescript@5.4.4", "typescript@5.4.5"]


def run(cmd, ok=(0,)):
    rc = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    assert rc in ok, "%s failed with %d" % (" ".join(cmd), rc)


def publish(work, name, url, latest, trees, steps=""):
    desc = os.path.join(work, name + ".txt")
    with open(desc, "w") as f:
        f.write("latest %s\nserver url=%s dir=patches/ version=%s\n%s" % (latest, url, latest, steps))
        for v, d in trees:
            f.write("tree %s %s\n" % (v, d))
    run([HOST_PATCHTOOL, "publish", desc, "-o", os.path.join(work, "www", name), "--unchecked", "--level", "3"])


def installation(path, tree, version, url):
    shutil.rmtree(path, ignore_errors=True)
    shutil.copytree(tree, path)
    os.makedirs(os.path.join(path, "PatchCfg"), exist_ok=True)
    with open(os.path.join(path, "PatchCfg", "NewUpdateCfg.xml"), "w") as f:
        f.write('<?xml version="1.0"?><Root><Version><LastVersion>0000099</LastVersion><CurVersion>%s</CurVersion>'
                '<ClientVer>%s</ClientVer><DownloadedFileVersion>0</DownloadedFileVersion></Version>'
                '<ManualUpdateURL NormalURL=""/><InternetUpdate><UpdateInfoURL>%sNewUpdateInfo.zip</UpdateInfoURL>'
                '</InternetUpdate></Root>' % (version, version, url))


class Server:
    def __init__(self, work):
        self.prefix = os.path.join(work, "nginx")
        subprocess.run([NGINX, "start", self.prefix, os.path.join(work, "www")], check=True)
        self.port = int(open(os.path.join(self.prefix, "port")).read())
        self.log = os.path.join(self.prefix, "access.log")

    def url(self, site):
        return "http://127.0.0.1:%d/%s/" % (self.port, site)

    def mark(self):
        return os.path.getsize(self.log)

    def bytes_since(self, mark, part):
        with open(self.log, "rb") as f:
            f.seek(mark)
            lines = f.read().decode(errors="replace").splitlines()
        total = 0
        for line in lines:
            fields = line.split()
            if len(fields) > 6 and part in fields[1]:
                total += int(fields[4])
        return total

    def stop(self):
        subprocess.run([NGINX, "stop", self.prefix], check=False)


def updater(build, *args, ok=(0,)):
    rc = subprocess.run(tb.updater(build, *args), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode
    assert rc in ok, "updater %s failed with %d" % (args[0], rc)


def write_tree(root, files):
    for rel, data in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def large_file(build, work, server, mib):
    """One large file: a changed byte, a 1 MiB insertion, a damaged 4 KiB region."""
    big = os.path.join(work, "big.bin")
    tb.make_file(big, mib << 20)
    trees = {v: os.path.join(work, "large", v) for v in ("0000100", "0000200", "0000300")}
    for v, d in trees.items():
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(os.path.join(d, "Data"))
        write_tree(d, {"Binaries/Game.exe": b"MZ game " * 1000})
    shutil.copyfile(big, os.path.join(trees["0000100"], "Data", "world.pak"))
    shutil.copyfile(big, os.path.join(trees["0000200"], "Data", "world.pak"))
    with open(os.path.join(trees["0000200"], "Data", "world.pak"), "r+b") as f:
        f.seek((mib << 20) // 2)
        b = f.read(1)
        f.seek((mib << 20) // 2)
        f.write(bytes([b[0] ^ 1]))
    with open(os.path.join(trees["0000200"], "Data", "world.pak"), "rb") as src, \
            open(os.path.join(trees["0000300"], "Data", "world.pak"), "wb") as dst:
        third = (mib << 20) // 3
        dst.write(src.read(third))
        dst.write(os.urandom(1 << 20))
        shutil.copyfileobj(src, dst, 64 << 20)
    url = server.url("large")
    publish(work, "large", url, "0000200", [("0000100", trees["0000100"]), ("0000200", trees["0000200"])])
    game = os.path.join(work, "large-game")
    installation(game, trees["0000100"], "0000100", url)
    m = server.mark()
    updater(build, "update", "--dir", tb.wine_path(game))
    byte = server.bytes_since(m, "/bundles/")
    publish(work, "large", url, "0000300", [(v, d) for v, d in sorted(trees.items())])
    m = server.mark()
    updater(build, "update", "--dir", tb.wine_path(game))
    insertion = server.bytes_since(m, "/bundles/")
    manifest = os.path.getsize(os.path.join(work, "www", "large", "store", "manifests", "0000300.manifest"))
    size = sum(os.path.getsize(os.path.join(r, f)) for r, _, fs in os.walk(trees["0000300"]) for f in fs)
    with open(os.path.join(game, "Data", "world.pak"), "r+b") as f:
        f.seek((mib << 20) // 4)
        f.write(os.urandom(4096))
    m = server.mark()
    updater(build, "repair", "--dir", tb.wine_path(game))
    repair = server.bytes_since(m, "/bundles/")
    print("chunks   %d MiB file: one changed byte fetched %.0f KiB (goal <= 300 KiB); a 1 MiB insertion %.2f MiB "
          "(goal <= 1.5 MiB); manifest %.0f KiB = %.3f %% of the installation (goal <= 0.1 %%); repair of a damaged "
          "4 KiB region fetched %.0f KiB (goal <= 300 KiB)"
          % (mib, byte / 1024.0, insertion / 1048576.0, manifest / 1024.0, 100.0 * manifest / size, repair / 1024.0))
    shutil.rmtree(os.path.join(work, "large"), ignore_errors=True)
    shutil.rmtree(game, ignore_errors=True)


def npm_trees(work):
    """Four releases of published software, unpacked as game versions (cached)."""
    cache = os.path.join(work, "npm")
    os.makedirs(cache, exist_ok=True)
    trees = []
    for n, release in enumerate(NPM_RELEASES):
        version = "%07d" % ((n + 1) * 100)
        tree = os.path.join(cache, version)
        if not os.path.isdir(tree):
            tgz = [f for f in os.listdir(cache) if f.startswith(release.replace("@", "-"))]
            if not tgz:
                subprocess.run(["npm", "pack", release, "--pack-destination", cache, "--silent"], check=True,
                               stdout=subprocess.DEVNULL)
                tgz = [f for f in os.listdir(cache) if f.startswith(release.replace("@", "-"))]
            with tarfile.open(os.path.join(cache, tgz[0])) as t:
                t.extractall(tree + ".part")
            os.replace(os.path.join(tree + ".part", "package"), tree)
            shutil.rmtree(tree + ".part")
        trees.append((version, tree))
    return trees


def any_to_latest(build, work, server):
    trees = npm_trees(work)
    files = sum(len(fs) for _, _, fs in os.walk(trees[-1][1]))
    size = sum(os.path.getsize(os.path.join(r, f)) for r, _, fs in os.walk(trees[-1][1]) for f in fs)
    # The step chain: the release's packages, the delta where there is one.
    versions = os.path.join(work, "npm-versions")
    shutil.rmtree(versions, ignore_errors=True)
    os.makedirs(versions)
    for v, t in trees:
        os.symlink(t, os.path.join(versions, v))
    url = server.url("npm")
    out = os.path.join(work, "www", "npm")
    shutil.rmtree(out, ignore_errors=True)
    run([HOST_PATCHTOOL, "release", versions, "--url", url, "-o", out, "--level", "19"])
    chain = 0
    for a, b in zip(trees, trees[1:]):
        stem = os.path.join(out, "patches", "up_%s_%s" % (a[0], b[0]))
        chain += os.path.getsize(stem + "_delta.exe" if os.path.exists(stem + "_delta.exe") else stem + ".exe")
    whole = os.path.join(work, "whole.exe")
    run([HOST_PATCHTOOL, "pack", "--new", trees[-1][1], "--from", trees[0][0], "--to", trees[-1][0], "-o", whole])
    # Through the launcher's engine: its choice with the chain there, then chunks alone.
    game = os.path.join(work, "npm-game")
    installation(game, trees[0][1], trees[0][0], url)
    m = server.mark()
    updater(build, "--json", "update", "--dir", tb.wine_path(game))
    chosen = server.bytes_since(m, "/npm/")
    publish(work, "npmchunks", server.url("npmchunks"), trees[-1][0], trees)
    installation(game, trees[0][1], trees[0][0], server.url("npmchunks"))
    m = server.mark()
    updater(build, "update", "--dir", tb.wine_path(game))
    chunks = server.bytes_since(m, "/bundles/")
    manifests = server.bytes_since(m, "/manifests/")
    print("any-to-latest  %s -> %s (%d files, %.1f MiB): chunks %.2f MiB (+ %.0f KiB of manifests), step chain of "
          "%d packages %.2f MiB, one whole-file package %.2f MiB; the engine took %.2f MiB"
          % (NPM_RELEASES[0], NPM_RELEASES[-1], files, size / 1048576.0, chunks / 1048576.0, manifests / 1024.0,
             len(trees) - 1, chain / 1048576.0, os.path.getsize(whole) / 1048576.0, chosen / 1048576.0))
    shutil.rmtree(game, ignore_errors=True)


def verify(build, work, files=2000, mib=1024):
    tree = os.path.join(work, "verify-tree")
    if not os.path.isdir(tree):
        rng = random.Random(3)
        weights = [rng.random() + 0.05 for _ in range(files)]
        scale = (mib << 20) / sum(weights)
        for i, w in enumerate(weights):
            d = os.path.join(tree, "dir%02d" % (i % 40))
            os.makedirs(d, exist_ok=True)
            tb.make_file(os.path.join(d, "file%04d.dat" % i), int(w * scale))
    publish(work, "verify", "http://127.0.0.1:9/", "0000100", [("0000100", tree)])
    manifest = tb.wine_path(os.path.join(work, "www", "verify", "store", "manifests", "0000100.manifest"))
    all_files = sorted(os.path.join(r, f) for r, _, fs in os.walk(tree) for f in fs)
    subprocess.run(["b2sum"] + all_files, check=True, stdout=subprocess.DEVNULL)  # the page cache warm for both
    t = time.perf_counter()
    subprocess.run(["b2sum"] + all_files, check=True, stdout=subprocess.DEVNULL)
    b2sum = time.perf_counter() - t
    start = tb.best(tb.updater(build, "--version"))
    full = tb.best(tb.updater(build, "verify", "--dir", tb.wine_path(tree), "--manifest", manifest, "--full"), runs=2)
    quick = tb.best(tb.updater(build, "verify", "--dir", tb.wine_path(tree), "--manifest", manifest), runs=3)
    print("verify   %d files, %d MiB: full %.2f s against b2sum %.2f s (goal: faster, %d cores) -> %.2fx; quick "
          "%.2f s (goal < 0.5 s) (Wine's start, %.2f s, taken off)"
          % (files, mib, full - start, b2sum, os.cpu_count(), b2sum / max(full - start, 0.001), max(quick - start, 0),
             start))
    shutil.rmtree(os.path.join(tree, "PatchCfg"), ignore_errors=True)


def memory(build, work):
    exe = os.path.join(build, "bench", "manifest_memory_bench.exe")
    where = tb.wine_path(os.path.join(work, "memory"))
    subprocess.run([tb.WINE_RUN, exe, where, "make"], check=True, stdout=subprocess.DEVNULL)
    out = subprocess.run([tb.WINE_RUN, exe, where, "plan"], check=True, stdout=subprocess.PIPE).stdout.decode()
    print(out.strip())


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    build, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    mib = int(sys.argv[3]) if len(sys.argv) > 3 else 1024
    work = os.path.join(work, "chunks")
    os.makedirs(os.path.join(work, "www"), exist_ok=True)
    os.makedirs(os.path.join(work, "memory"), exist_ok=True)
    parts = sys.argv[4].split(",") if len(sys.argv) > 4 else ["large", "any", "verify", "memory"]
    server = Server(work)
    try:
        if "large" in parts:
            large_file(build, work, server, mib)
        if "any" in parts:
            any_to_latest(build, work, server)
        if "verify" in parts:
            verify(build, work)
        if "memory" in parts:
            memory(build, work)
    finally:
        server.stop()


if __name__ == "__main__":
    main()
