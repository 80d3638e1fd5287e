#!/usr/bin/env bash
# The installation benchmark: updater install against unzip + cp -r + md5sum.
# Optional arguments: FILES MIB (default 2000 512).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
scripts/bootstrap
scripts/build >/dev/null
export WINEPREFIX="$ROOT/build/wineprefix"
scripts/with-wineserver python3 bench/install_bench.py build/win build/bench "$@"
