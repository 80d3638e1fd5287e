#!/usr/bin/env bash
# Opt-in soak of the network library: connect, exchange, close, repeat for
# SECONDS (default 600), printing memory and handle counts every 30 s.
. "$(dirname "$0")/prepare.sh"
scripts/with-wineserver scripts/wine-run build/win/bench/network_bench.exe soak "${1:-600}"
