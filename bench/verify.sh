#!/usr/bin/env bash
# Signature verification against installation of the install benchmark's
# package. Optional arguments: FILES MIB (default 2000 512).
. "$(dirname "$0")/prepare.sh"
scripts/with-wineserver python3 bench/verify_bench.py build/win build/bench "$@"
