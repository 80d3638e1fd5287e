#!/usr/bin/env python3
"""Opt-in (TW_LARGE_TESTS=1): an old file of 4 GiB + 3 MiB and its new
version with scattered changes, an insertion and a deletion, and a delta
package of the two made by the native patchtool.

usage: large_delta_fixture.py make DIR PATCHTOOL | clean DIR
DIR then holds old/Data/big.pak, delta.exe, new.md5; or skip.txt saying why not.
"""
import hashlib
import os
import random
import shutil
import subprocess
import sys
import time

MIB = 1 << 20
BLOCKS = 4096 + 3           # past 4 GiB
NEED_FREE = 15 << 30        # old, new, the package and the installer's copies


def block(seed_block, n):
    # A counter in every 4 KiB keeps each MiB distinct, so the old file is not
    # one block repeated that any compressor folds away.
    b = bytearray(seed_block)
    tag = n.to_bytes(8, "little")
    for at in range(0, MIB, 4096):
        b[at:at + 8] = tag
    return b


def write_pair(old_path, new_path):
    rnd = random.Random(16)
    seed_block = rnd.randbytes(MIB)
    changes = {17: b"changed near the start", 2100: b"changed in the middle", 4095: b"changed across 4 GiB"}
    inserted_at, deleted_at = 1500, 3000
    md5 = hashlib.md5()
    with open(old_path, "wb") as old, open(new_path, "wb") as new:
        for n in range(BLOCKS):
            b = block(seed_block, n)
            old.write(b)
            if n == deleted_at:
                b = b[:1000] + b[1000 + 70000:]  # 70000 bytes gone
            if n in changes:
                at = MIB // 2 if n != 4095 else MIB - 10
                b[at:at + len(changes[n])] = changes[n]
            if n == inserted_at:
                b = b[:4242] + rnd.randbytes(300000) + b[4242:]
            new.write(b)
            md5.update(b)
    return md5.hexdigest()


def make(work, patchtool):
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    free = shutil.disk_usage(work).free
    skip = ("set TW_LARGE_TESTS=1" if os.environ.get("TW_LARGE_TESTS") != "1" else
            "%.1f GiB free under %s, the test needs 15 GiB" % (free / (1 << 30), work) if free < NEED_FREE else None)
    if skip:
        open(os.path.join(work, "skip.txt"), "w").write(skip)
        return
    for tree in ("old", "new"):
        os.makedirs(os.path.join(work, tree, "Data"))
    start = time.time()
    digest = write_pair(os.path.join(work, "old/Data/big.pak"), os.path.join(work, "new/Data/big.pak"))
    made = time.time()
    subprocess.run([patchtool, "pack", "--old", os.path.join(work, "old"), "--new", os.path.join(work, "new"),
                    "--from", "0000100", "--to", "0000200", "-o", os.path.join(work, "delta.exe"), "--delta"],
                   check=True)
    # The installer needs only the old file and the package.
    shutil.rmtree(os.path.join(work, "new"))
    open(os.path.join(work, "new.md5"), "w").write(digest)
    print("files written in %.0f s, packed in %.0f s, package %d bytes" %
          (made - start, time.time() - made, os.path.getsize(os.path.join(work, "delta.exe"))))


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "make":
        make(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == "clean":
        shutil.rmtree(sys.argv[2], ignore_errors=True)
    else:
        sys.exit(__doc__)
