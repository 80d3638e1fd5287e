#!/usr/bin/env bash
# The transfer benchmarks: updater md5 / unzip / download against md5sum,
# Info-ZIP unzip and curl, measured in one run. --quick uses small inputs.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
scripts/bootstrap
scripts/build >/dev/null
export WINEPREFIX="$ROOT/build/wineprefix"
scripts/with-wineserver python3 bench/transfer_bench.py build/win build/bench "$@"
