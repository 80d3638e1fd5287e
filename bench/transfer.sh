#!/usr/bin/env bash
# The transfer benchmarks: updater md5 / unzip / download against md5sum,
# Info-ZIP unzip and curl, measured in one run. --quick uses small inputs.
. "$(dirname "$0")/prepare.sh"
scripts/with-wineserver python3 bench/transfer_bench.py build/win build/bench "$@"
