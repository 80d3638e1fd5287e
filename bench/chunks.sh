#!/usr/bin/env bash
# The chunk store's figures: bytes of chunk updates and repairs, any version
# to the latest against the step chain, verify against b2sum, the memory of
# planning with a manifest of 300,000 files. Optional argument: MIB of the
# large file (default 1024).
. "$(dirname "$0")/prepare.sh"
scripts/with-wineserver python3 bench/chunks_bench.py build/win build/bench "$@"
