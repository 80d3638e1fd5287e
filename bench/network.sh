#!/usr/bin/env bash
# Loopback throughput (1 KiB and 64 KiB messages) of the network library
# against a plain blocking-socket pair, and the round-trip latency.
. "$(dirname "$0")/prepare.sh"
scripts/with-wineserver scripts/wine-run build/win/bench/network_bench.exe
