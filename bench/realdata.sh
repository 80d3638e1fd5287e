#!/usr/bin/env bash
# Real releases of published software (npm) as three game versions: delta
# package bytes against xdelta3, zstd --patch-from and bsdiff, install and
# update times against unzip, cp, md5sum and curl.
. "$(dirname "$0")/prepare.sh"
scripts/with-wineserver python3 bench/realdata_bench.py build/win build/host build/bench "$@"
