# Sourced by the benchmark scripts: installs what is missing, builds, and
# points Wine at the project's prefix.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
scripts/bootstrap >/dev/null
scripts/build >/dev/null
export WINEPREFIX=${WINEPREFIX:-$ROOT/build/wineprefix}
