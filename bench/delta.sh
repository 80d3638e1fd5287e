#!/usr/bin/env bash
# Delta packages against whole-file packages and xdelta3. Optional
# arguments: FILES MIB (default 3 64).
. "$(dirname "$0")/prepare.sh"
scripts/with-wineserver python3 bench/delta_bench.py build/win build/host build/bench "$@"
