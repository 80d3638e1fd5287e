#!/usr/bin/env bash
# Opt-in soak of the network library: connect, exchange, close, repeat for
# SECONDS (default 600), printing memory and handle counts every 30 s.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
scripts/bootstrap >/dev/null
scripts/build >/dev/null
export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix}
scripts/with-wineserver scripts/wine-run build/win/bench/network_bench.exe soak "${1:-600}"
