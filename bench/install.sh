#!/usr/bin/env bash
# The installation benchmark: updater install against unzip + cp -r + md5sum.
# Optional arguments: FILES MIB (default 2000 512).
. "$(dirname "$0")/prepare.sh"
scripts/with-wineserver python3 bench/install_bench.py build/win build/bench "$@"
