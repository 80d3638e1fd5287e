#!/usr/bin/env bash
# Loopback throughput (1 KiB and 64 KiB messages) of the network library
# against a plain blocking-socket pair, and the round-trip latency.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
scripts/bootstrap >/dev/null
scripts/build >/dev/null
export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix}
scripts/with-wineserver scripts/wine-run build/win/bench/network_bench.exe
