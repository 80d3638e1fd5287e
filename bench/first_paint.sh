#!/usr/bin/env bash
# Process start to the first paint of the launcher's main window against a
# minimal Win32 window program, both started the same way in the same run.
#   bench/first_paint.sh [ROUNDS]   (default 15)
. "$(dirname "$0")/prepare.sh"
W="$ROOT/build/bench/first_paint"
rm -rf "$W" && mkdir -p "$W"
# An installation at the server's version; no server needed for the window.
scripts/sample-client "$W" "http://127.0.0.1:9/" --version 0000300 >/dev/null
cp build/win/launcher.exe "$W/game/"
xvfb-run -a -s "-screen 0 1280x1024x24" scripts/with-wineserver \
  scripts/wine-run build/win/bench/first_paint_bench.exe "${1:-15}" "Z:${W//\//\\}\\game"
