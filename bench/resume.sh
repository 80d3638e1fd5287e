#!/usr/bin/env bash
# Downloads over broken and limited connections: a 1 GiB package cut at 25,
# 50 and 75 % (bytes received against the file, time against an unbroken
# curl), and the rate limit at 1, 8 and 64 MiB/s. --quick: 64 MiB, shorter.
. "$(dirname "$0")/prepare.sh"
scripts/with-wineserver python3 bench/resume_bench.py build/win build/bench "$@"
