#!/usr/bin/env python3
"""What signature verification adds to installing the package of the install
benchmark: `updater verify` (the launcher's check: the .minisig read, the
package's BLAKE2b-512 streamed, both Ed25519 signatures) against `updater
install` of the same package, measured in one run.

usage: verify_bench.py BUILD_DIR WORK_DIR [FILES MIB]
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import install_bench as ib  # noqa: E402
import transfer_bench as tb  # noqa: E402


def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    build, work = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    files = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
    mib = int(sys.argv[4]) if len(sys.argv) > 4 else 512
    work, pkg = ib.prepare(build, work, files, mib)
    old = os.path.join(work, "old")
    patchtool = tb.updater(build, "md5", "x")[:1] + [os.path.join(build, "tools", "patchtool.exe")]
    key = os.path.join(work, "bench")
    if not os.path.exists(key + ".key"):
        subprocess.run(patchtool + ["keygen", "-o", tb.wine_path(key)], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(patchtool + ["sign", "--key", tb.wine_path(key + ".key"), tb.wine_path(pkg)], check=True,
                   stdout=subprocess.DEVNULL)

    game = os.path.join(work, "game")
    start = ib.wine_start(build, game, old, pkg)
    install = ib.install_times(build, game, old, pkg, start)
    os.sync()
    verify = [ib.timed(tb.updater(build, "verify", tb.wine_path(pkg), "--key", tb.wine_path(key + ".pub"))) - start
              for _ in range(2)]
    size = os.path.getsize(pkg) / 1048576.0
    print("verify   %d files, %d MiB (package %.0f MiB): updater install %.2f s, updater verify %.2f s "
          "(+%.2f s Wine start) -> verification adds %.1f %% (target <= 10 %%)"
          % (files, mib, size, min(install), min(verify), start, 100.0 * min(verify) / min(install)))


if __name__ == "__main__":
    main()
