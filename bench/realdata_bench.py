#!/usr/bin/env python3
"""Real releases of published software as game versions: a 32-bit Windows
executable (esbuild, 9 MiB), a native module (swc, 27 MiB) and thousands of
script files (rxjs), three consecutive releases of each, fetched once from
the npm registry into a cache. Per step, measured in one run (each time the
best of ROUNDS, the sides taken in turn):

  bytes of our whole-file and delta packages against xdelta3 -9, zstd -19
  --long --patch-from and bsdiff summed over the changed files; the time of
  `updater install` of each package against unzip + cp + md5sum of the same
  package, and of a whole `updater update` over nginx against curl + unzip +
  cp (Wine's start taken off, a Wine desktop held open as Windows has one);
  the installer's peak memory (resident, the whole Wine process).

usage: realdata_bench.py BUILD_DIR HOST_BUILD_DIR WORK_DIR
"""
import filecmp
import os
import shutil
import subprocess
import sys
import tarfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import install_bench as ib  # noqa: E402
import transfer_bench as tb  # noqa: E402

# (npm package, file of it, place in the game) and the three releases of each.
PARTS = [
    ("@esbuild/win32-ia32", "esbuild.exe", "Binaries/esbuild.exe", ["0.21.3", "0.21.4", "0.21.5"]),
    ("@swc/core-win32-ia32-msvc", "swc.win32-ia32-msvc.node", "Binaries/swc.node", ["1.5.5", "1.5.6", "1.5.7"]),
    ("rxjs", None, "Scripts/rxjs", ["7.8.0", "7.8.1", "7.8.2"]),
]
VERSIONS = ["0000100", "0000200", "0000300"]
# Each time is the best of this many runs, the two sides taken in turn: with
# two, a tenth of a second of this machine's jitter decided the ratios.
ROUNDS = 5
NGINX = os.path.join(tb.ROOT, "tests", "e2e", "nginx-serve.sh")


def fetch(cache, name, version):
    """The package's files, unpacked once into the cache."""
    tree = os.path.join(cache, name.replace("/", "_") + "-" + version)
    if os.path.isdir(tree):
        return tree
    os.makedirs(cache, exist_ok=True)
    before = set(os.listdir(cache))
    subprocess.run(["npm", "pack", "%s@%s" % (name, version), "--pack-destination", cache, "--silent"], check=True,
                   stdout=subprocess.DEVNULL)
    tgz = [f for f in set(os.listdir(cache)) - before if f.endswith(".tgz")][0]
    with tarfile.open(os.path.join(cache, tgz)) as t:
        t.extractall(tree + ".part")
    os.replace(os.path.join(tree + ".part", "package"), tree)
    shutil.rmtree(tree + ".part")
    return tree


def game_trees(work):
    cache = os.path.join(work, "npm-cache")
    trees = []
    for i, v in enumerate(VERSIONS):
        root = os.path.join(work, "versions", v)
        if not os.path.isdir(root):
            for name, member, place, releases in PARTS:
                src = fetch(cache, name, releases[i])
                dst = os.path.join(root + ".part", place)
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                if member:
                    shutil.copyfile(os.path.join(src, member), dst)
                else:
                    shutil.copytree(src, dst)
            os.makedirs(os.path.join(root + ".part", "Binaries"), exist_ok=True)
            with open(os.path.join(root + ".part", "DATA.dat"), "w") as f:
                f.write("game data index " + v)
            os.replace(root + ".part", root)
        trees.append(root)
    return trees


def changed_files(old, new):
    out = []
    for r, _, fs in os.walk(new):
        for f in fs:
            n = os.path.join(r, f)
            o = os.path.join(old, os.path.relpath(n, new))
            if os.path.exists(o) and not filecmp.cmp(o, n, shallow=False):
                out.append((o, n))
    return out


def reference_bytes(work, pairs):
    """Per tool, the bytes of its deltas over the changed files."""
    tmp = os.path.join(work, "ref.out")
    sums = {"xdelta3 -9": 0, "zstd -19 --long --patch-from": 0, "bsdiff": 0}
    for o, n in pairs:
        runs = {
            "xdelta3 -9": ["xdelta3", "-9", "-f", "-e", "-s", o, n, tmp],
            "zstd -19 --long --patch-from": ["zstd", "-q", "-f", "-19", "--long=27", "--patch-from=" + o, n, "-o", tmp],
            "bsdiff": ["bsdiff", o, n, tmp],
        }
        for tool, cmd in runs.items():
            subprocess.run(cmd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            sums[tool] += os.path.getsize(tmp)
    return sums


def zip_of(pkg, out):
    """The zip inside a package, for unzip."""
    data = open(pkg, "rb").read()
    start = data.find(b"PK\x03\x04")
    with open(out, "wb") as f:
        f.write(data[start:])
    return out


def fresh(game, old, version, url="http://127.0.0.1:9/"):
    """An installation of old at version, fetching from url."""
    ib.fresh_game(game, old)
    with open(os.path.join(game, "PatchCfg", "NewUpdateCfg.xml"), "w") as f:
        f.write(ib.CFG.replace("http://127.0.0.1:9/x.zip", url + "NewUpdateInfo.zip").replace("0000100", version)
                .replace("0000099", "0000000"))


def install_time(build, game, old, version, pkg, start):
    fresh(game, old, version)
    return ib.timed(tb.updater(build, "install", tb.wine_path(pkg), "--dir", tb.wine_path(game))) - start


def install_peak(build, game, old, version, pkg):
    """The peak resident memory of `updater install` (KiB)."""
    fresh(game, old, version)
    run = subprocess.run(["/usr/bin/time", "-f", "%M"] + tb.updater(build, "install", tb.wine_path(pkg), "--dir",
                                                                    tb.wine_path(game)),
                         check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    return int(run.stderr.strip().splitlines()[-1])


def reference_install(work, pkg, game, old):
    """unzip + cp + md5sum of the same package into the same installation."""
    ib.fresh_game(game, old)
    unpacked = os.path.join(work, "unzipped")
    shutil.rmtree(unpacked, ignore_errors=True)
    z = zip_of(pkg, os.path.join(work, "ref.zip"))
    t = time.perf_counter()
    subprocess.run(["unzip", "-q", "-o", z, "-d", unpacked], check=True)
    subprocess.run(["cp", "-r", unpacked + "/.", game], check=True)
    files = [os.path.join(r, f) for r, _, fs in os.walk(unpacked) for f in fs]
    subprocess.run(["md5sum"] + files, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - t


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    build, host, work = (os.path.abspath(a) for a in sys.argv[1:4])
    work = os.path.join(work, "realdata")
    os.makedirs(work, exist_ok=True)
    trees = game_trees(work)
    start = tb.best(tb.updater(build, "--version"))
    www = os.path.join(work, "www")
    shutil.rmtree(www, ignore_errors=True)
    os.makedirs(www)
    ngx = os.path.join(work, "nginx")
    subprocess.run([NGINX, "start", ngx, www], check=True)
    port = int(open(os.path.join(ngx, "port")).read())
    print("Wine's start-up (%.2f s) is taken off each updater time; one Wine desktop stays open for all runs, "
          "as Windows always has one" % start)
    try:
        with tb.desktop_held(build):
            run_steps(build, work, trees, start, www, port)
    finally:
        subprocess.run([NGINX, "stop", ngx], check=False)


def run_steps(build, work, trees, start, www, port):
    # The optimised build (the host's has the sanitizers), with Windows paths.
    patchtool = [tb.WINE_RUN, os.path.join(build, "tools", "patchtool.exe")]
    wp = tb.wine_path
    for (a, old), (b, new) in zip(zip(VERSIONS, trees), list(zip(VERSIONS, trees))[1:]):
        pairs = changed_files(old, new)
        pkgs = {}
        for kind, extra in (("whole", []), ("delta", ["--delta"])):
            pkgs[kind] = os.path.join(work, "%s_%s_%s.exe" % (kind, a, b))
            t = time.perf_counter()
            subprocess.run(patchtool + ["pack", "--old", wp(old), "--new", wp(new), "--from", a, "--to", b, "-o",
                                        wp(pkgs[kind])] + extra, check=True, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
            pack_time = time.perf_counter() - t
        refs = reference_bytes(work, pairs)
        best = min(refs.values())
        delta = os.path.getsize(pkgs["delta"])
        print("step %s -> %s: %d changed files; whole package %.2f MiB, delta package %.3f MiB (packed in %.0f s) "
              "= %.2f x the smallest reference (goal <= 0.9): %s"
              % (a, b, len(pairs), os.path.getsize(pkgs["whole"]) / 1048576.0, delta / 1048576.0, pack_time,
                 delta / best, ", ".join("%s %.3f MiB" % (k, v / 1048576.0) for k, v in refs.items())))
        game = os.path.join(work, "game")
        installs = {"whole": [], "delta": [], "ref": []}
        for _ in range(ROUNDS):
            for kind in ("whole", "delta"):
                installs[kind].append(install_time(build, game, old, a, pkgs[kind], start))
            installs["ref"].append(reference_install(work, pkgs["whole"], game, old))
        times = {kind: min(v) for kind, v in installs.items()}
        ref = times["ref"]
        print("  install: whole %.2f s, delta %.2f s (%.2f x whole, goal <= 1.2) against unzip + cp + md5sum "
              "%.2f s -> %.2f x (goal <= 1.3)"
              % (times["whole"], times["delta"], times["delta"] / times["whole"], ref, times["whole"] / ref))
        peaks = {kind: install_peak(build, game, old, a, pkgs[kind]) for kind in ("whole", "delta")}
        print("  installer peak memory (the whole Wine process): whole %.1f MiB, delta %.1f MiB"
              % (peaks["whole"] / 1024.0, peaks["delta"] / 1024.0))
        # A whole update over nginx: the step's packages published, the installation at the old version.
        site = os.path.join(www, a)
        desc = os.path.join(work, "publish.txt")
        url = "http://127.0.0.1:%d/%s/" % (port, a)
        with open(desc, "w") as f:
            f.write("latest %s\nserver url=%s dir=patches/ version=%s\nstep %s %s upgrade=%s upgradedelta=%s\n"
                    % (b, url, b, a, b, wp(pkgs["whole"]), wp(pkgs["delta"])))
        subprocess.run(patchtool + ["publish", wp(desc), "-o", wp(site)], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        runs, curl = [], []
        for _ in range(ROUNDS):
            fresh(game, old, a, url)
            runs.append(ib.timed(tb.updater(build, "update", "--dir", tb.wine_path(game))) - start)
            got = os.path.join(work, "got.exe")
            t = time.perf_counter()
            subprocess.run(["curl", "-s", "-o", got, url + "patches/" + os.path.basename(pkgs["whole"]).lower()],
                           check=True)
            fetched = time.perf_counter() - t
            curl.append(fetched + reference_install(work, got, game, old))
        ref_update = min(curl)
        print("  update over nginx: updater update %.2f s against curl + unzip + cp %.2f s -> %.2f x (goal <= 1.5)"
              % (min(runs), ref_update, min(runs) / ref_update))


if __name__ == "__main__":
    main()
