#!/usr/bin/env bash
# The operator's guide, run as an operator would: its sh blocks, verbatim and
# in order, against nginx on loopback; a player installation made by
# patchtool init and started with launcher.exe, updated release after
# release. The guide cannot promise what this does not do.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "$1" && pwd)
W="$BUILD/e2e/guide"
export LANG=C.UTF-8
export WINEPREFIX=${WINEPREFIX:-$BUILD/../wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
rm -rf "$W" && mkdir -p "$W/www"
fail() { echo "guide e2e: $*"; exit 1; }
. "$ROOT/tests/e2e/updater-lib.sh"

NGINX="$ROOT/tests/e2e/nginx-serve.sh"
"$NGINX" start "$W/nginx" "$W/www"
trap '"$NGINX" stop "$W/nginx"; [ -z "${PID:-}" ] || kill "$PID" 2>/dev/null || true' EXIT
export URL="http://127.0.0.1:$(cat "$W/nginx/port")/"

# The commands the guide names, as an operator has them.
HOSTTOOL="$BUILD/../host/tools/patchtool"
patchtool() {
  if [ -x "$HOSTTOOL" ]; then "$HOSTTOOL" "$@"; return; fi
  "$ROOT/scripts/wine-run" "$BUILD/tools/patchtool.exe" "$@"
}
updater() { "$ROOT/scripts/wine-run" "$BUILD/tools/updater.exe" "$@"; }

# The game's versions, which the guide asks the operator to lay out.
"$ROOT/scripts/sample-client" "$W/sample" "$URL" --game "$BUILD/tests/samplegame.exe" >/dev/null
mkdir -p "$W/versions"
cp -r "$W/sample/v100" "$W/versions/0000100"
cp -r "$W/sample/v200" "$W/versions/0000200"

# The guide's sh blocks, one file each.
awk -v dir="$W/blocks" 'BEGIN { n = 0 } /^```sh$/ { n++; file = sprintf("%s/%02d.sh", dir, n); inblock = 1; next }
  /^```$/ { inblock = 0; next } inblock { print > file }' <(mkdir -p "$W/blocks"; cat "$ROOT/docs/operator-guide.md")
run_block() { # file
  echo "== $(head -n 1 "$1")"
  (cd "$W" && set -e && source "$1") || fail "the guide's block failed: $(cat "$1")"
}
ci() { # a file by its path in any case (base packs unpack lower-cased; Windows ignores case)
  find "$1" -ipath "$1/$2" -print -quit 2>/dev/null
}
game_ran() { [ -s "$(ci "$W/player" Binaries/game-run.txt)" ]; }
player_updates_to() { # version: launcher.exe in the player installation updates it and starts the game
  local game="$W/player"
  rm -f "$(ci "$game" Binaries/game-run.txt)"
  (cd "$game" && exec "$ROOT/scripts/wine-run" "$game/launcher.exe" >"$W/launcher.out" 2>&1) &
  PID=$!
  poll 180 "the launcher still runs after 180 s" gone "$PID"
  wait "$PID" || fail "the launcher failed"
  grep -q "<CurVersion>$1</CurVersion>" "$game/PatchCfg/NewUpdateCfg.xml" || fail "the player is not at $1"
  # The launcher ends as soon as it has asked for the game.
  poll 20 "the game was not started" game_ran
  (cd "$W/sample/v${1:4}" && find . -type f | sed 's|^\./||') | while IFS= read -r f; do
    cmp -s "$W/sample/v${1:4}/$f" "$(ci "$game" "$f")" || fail "$f is not the one of $1"
  done
  echo "== the player is at $1"
}

blocks=("$W"/blocks/*.sh)
for b in "${blocks[@]}"; do
  if grep -q -- "--previous" "$b"; then
    # The next version arrives; the oldest tree is no longer kept.
    cp -r "$W/sample/v300" "$W/versions/0000300"
    rm -rf "$W/versions/0000100"
  fi
  run_block "$b"
  if grep -q "patchtool init player" "$b"; then
    cp "$BUILD/launcher.exe" "$W/player/launcher.exe"
    player_updates_to 0000200
  fi
done
player_updates_to 0000300
echo "guide e2e: ok"
