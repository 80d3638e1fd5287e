#!/usr/bin/env bash
# Whole runs of launcher.exe as a player has them: a sample installation, a
# patch server on loopback with packages from patchtool, the sample game
# under Binaries\ that records how it was started, and the driver program
# that clicks buttons and answers message boxes through the Win32 API.
#
#   launcher_e2e.sh BUILD_DIR [SCENARIO...]     (default: every scenario)
# Screenshots go to build/artifacts/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$(cd "$1" && pwd); shift
E2E="$BUILD/e2e/launcher"
ART="$(cd "$BUILD/.." && pwd)/artifacts"  # build/artifacts, beside the other screenshots
mkdir -p "$E2E" "$ART"
export LANG=C.UTF-8  # the driver's arguments hold Chinese texts
export WINEPREFIX=${WINEPREFIX:-$BUILD/../wineprefix} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win32
LAUNCHER="$BUILD/launcher.exe"
DRIVER="$BUILD/tests/driver.exe"
GAME="$BUILD/tests/samplegame.exe"
PATCHTOOL="$BUILD/../host/tools/patchtool"
[ -x "$PATCHTOOL" ] || PATCHTOOL=""
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
TITLE=Tidewell
fail() { echo "FAIL [$SCENARIO]: $*"; [ -f "${GAMEDIR:-/nonexistent}/PatchCfg/PatchTemp/Tidewell.log" ] &&
  iconv -f UTF-16 -t UTF-8 "$GAMEDIR/PatchCfg/PatchTemp/Tidewell.log" | tail -n 25; exit 1; }
patchtool() { # args with Linux paths; the host build's tool when there is one
  if [ -n "$PATCHTOOL" ]; then "$PATCHTOOL" "$@"; return; fi
  local a=() x
  for x in "$@"; do case $x in /*) a+=("$(winpath "$x")");; *) a+=("$x");; esac; done
  "$ROOT/scripts/wine-run" "$BUILD/tools/patchtool.exe" "${a[@]}" >/dev/null
}
driver() { "$ROOT/scripts/wine-run" "$DRIVER" "$@"; }
shot() { # name: the launcher's window pair, cut from the virtual screen
  local r; r=$(driver rect "$TITLE" | tr -d '\r') || return 0
  set -- "$1" $r
  import -window root -crop "${4}x${5}+${2}+${3}" +repage "$ART/$1.png" 2>/dev/null && echo "screenshot: $ART/$1.png"
}

# ---- the patch server: three versions, two steps, base packs -----------------
# nginx serves the patch directory, as operators do; it starts first (on the
# still empty directory) so that its port is known.
SERVER="$E2E/server"
rm -rf "$SERVER" && mkdir -p "$SERVER/www"
NGINX="$ROOT/tests/e2e/nginx-serve.sh"
"$NGINX" start "$E2E/nginx" "$SERVER/www"
URL="http://127.0.0.1:$(cat "$E2E/nginx/port")/"
LAUNCHERS=()
cleanup() {
  "$NGINX" stop "$E2E/nginx"
  local p; for p in "$E2E"/prefix*; do [ -d "$p" ] && WINEPREFIX=$p wineserver -k 2>/dev/null; rm -rf "$p"; done
  for p in "${LAUNCHERS[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
"$ROOT/scripts/sample-client" "$SERVER" "$URL" --game "$GAME" >/dev/null
mkdir -p "$SERVER/pkg"
patchtool pack --old "$SERVER/v100" --new "$SERVER/v200" --from 0000100 --to 0000200 -o "$SERVER/pkg/up_0000100_0000200.exe" >/dev/null
patchtool pack --old "$SERVER/v200" --new "$SERVER/v300" --from 0000200 --to 0000300 -o "$SERVER/pkg/up_0000200_0000300.exe" >/dev/null
patchtool pack --old "$SERVER/v300" --new "$SERVER/v200" --from 0000300 --to 0000200 -o "$SERVER/pkg/down_0000300_0000200.exe" >/dev/null
patchtool publish "$SERVER/publish.txt" -o "$SERVER/www" >/dev/null
(cd "$SERVER/v100" && zip -qr "$SERVER/www/base1.zip" . -x DATA.dat && zip -q "$SERVER/www/base2.zip" DATA.dat)
# A server whose packages are gone: every download of a step fails.
sed "s|url=$URL|url=${URL}broken/|" "$SERVER/publish.txt" > "$SERVER/broken.txt"
patchtool publish "$SERVER/broken.txt" -o "$SERVER/www/broken" >/dev/null
rm -f "$SERVER"/www/broken/patches/*.exe
# A package that also delivers a new launcher: launcher.exe differs in v200.
NL="$SERVER/newlauncher"
mkdir -p "$NL/pkg" && cp -r "$SERVER/v100" "$NL/v100" && cp -r "$SERVER/v200" "$NL/v200"
cp "$LAUNCHER" "$NL/v100/launcher.exe"
{ cat "$LAUNCHER"; printf 'new launcher build'; } > "$NL/v200/launcher.exe"
patchtool pack --old "$NL/v100" --new "$NL/v200" --from 0000100 --to 0000200 -o "$NL/pkg/up_0000100_0000200.exe" >/dev/null
cp "$SERVER/pkg/up_0000200_0000300.exe" "$SERVER/pkg/down_0000300_0000200.exe" "$NL/pkg/"
sed "s|url=$URL|url=${URL}newlauncher/|" "$SERVER/publish.txt" > "$NL/publish.txt"
patchtool publish "$NL/publish.txt" -o "$SERVER/www/newlauncher" >/dev/null

# Sites for the failure causes: a package of another digest, one the revision
# table states far larger than any disk.
for site in damaged diskfull; do
  sed "s|url=$URL|url=${URL}$site/|" "$SERVER/publish.txt" > "$SERVER/$site.txt"
  patchtool publish "$SERVER/$site.txt" -o "$SERVER/www/$site" >/dev/null
done
python3 - "$SERVER/www" <<'PY'
import re, sys, zipfile
www = sys.argv[1]
package = www + "/damaged/patches/up_0000100_0000200.exe"
data = bytearray(open(package, "rb").read())
data[len(data) // 2] ^= 0xFF
open(package, "wb").write(data)
archive = www + "/diskfull/newupdateinfo.zip"
entries = {n: zipfile.ZipFile(archive).read(n) for n in zipfile.ZipFile(archive).namelist()}
entries["Revision.xml"] = re.sub(rb'size="\d+"', b'size="1125899906842624"', entries["Revision.xml"])
with zipfile.ZipFile(archive, "w") as z:
    for n, d in entries.items():
        z.writestr(n, d)
PY
# Names in three scripts, changed, added and removed from 0000100 to 0000200,
# packed whole and as deltas, published signed.
NA="$SERVER/nonascii"
mkdir -p "$NA/pkg" && cp -r "$SERVER/v100" "$NA/v100" && cp -r "$SERVER/v200" "$NA/v200"
python3 - "$NA" <<'PY'
import os, random, sys
rng = random.Random(22)
def put(tree, rel, data):
    path = os.path.join(sys.argv[1], tree, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
base = rng.randbytes(200000)
for tree in ("v100", "v200"):
    put(tree, "Donn\u00e9es/caf\u00e9/r\u00e9sum\u00e9.txt", tree.encode() * 100)
    put(tree, "\u6570\u636e/\u5730\u56fe/\u6587\u4ef6.pak", base + (tree.encode() * 50))
put("v100", "\U0001F600/old\U0001F600.txt", b"removed in 0000200")
put("v200", "\U0001F600/new\U0001F600.txt", b"added in 0000200")
PY
patchtool keygen -o "$NA/key" >/dev/null
patchtool pack --old "$NA/v100" --new "$NA/v200" --from 0000100 --to 0000200 -o "$NA/pkg/up_0000100_0000200.exe" >/dev/null
patchtool pack --old "$NA/v100" --new "$NA/v200" --from 0000100 --to 0000200 --delta -o "$NA/pkg/upd_0000100_0000200.exe" >/dev/null
printf "latest 0000200\nserver url=%snonascii/ dir=patches/ version=0000200\nstep 0000100 0000200 upgrade=%s upgradedelta=%s\n" \
  "$URL" "$NA/pkg/up_0000100_0000200.exe" "$NA/pkg/upd_0000100_0000200.exe" > "$NA/publish.txt"
patchtool publish "$NA/publish.txt" -o "$SERVER/www/nonascii" --sign "$NA/key.key" >/dev/null

# The latest version whole in a chunk store: installations are verified and
# repaired from it.
sed "s|url=$URL|url=${URL}chunks/|" "$SERVER/publish.txt" > "$SERVER/chunks.txt"
echo "tree 0000300 v300" >> "$SERVER/chunks.txt"
patchtool publish "$SERVER/chunks.txt" -o "$SERVER/www/chunks" >/dev/null

# ---- helpers of one scenario --------------------------------------------------
install() { # scenario name, version (or none), [site], [channel], [KiB/s]
  SCENARIO=$1
  local dir="$E2E/$1" site=${3:-}
  rm -rf "$dir" && mkdir -p "$dir"
  "$ROOT/scripts/sample-client" "$dir" "$URL$site" --game "$GAME" --version "$2" ${4:+--channel "$4"} \
    ${5:+--rate-kib "$5"} >/dev/null
  rm -rf "$dir/v100" "$dir/v200" "$dir/v300"
  GAMEDIR="$dir/game"
  cp "$LAUNCHER" "$GAMEDIR/launcher.exe"
  [ -n "${KEEP_REGISTRATION:-}" ] || driver unregister
  echo "== $SCENARIO"
}
start_launcher() { # arguments of the launcher; runs in the installation
  (cd "$GAMEDIR" && exec "$ROOT/scripts/wine-run" "$GAMEDIR/launcher.exe" "$@" >"$GAMEDIR/launcher.out" 2>&1) &
  LAUNCHER_PID=$!
  LAUNCHERS+=("$LAUNCHER_PID")
}
wait_launcher() { # expected exit code, seconds
  local t=0
  while kill -0 "$LAUNCHER_PID" 2>/dev/null; do
    [ "$t" -ge $(( $2 * 10 )) ] && fail "the launcher still runs after $2 s"
    sleep 0.1; t=$((t + 1))
  done
  local rc=0; wait "$LAUNCHER_PID" || rc=$?
  [ "$rc" = "$1" ] || fail "launcher exit code $rc, expected $1"
}
ci() { # a file of the installation by its path, in any case (Windows ignores it)
  find "$GAMEDIR" -ipath "$GAMEDIR/$1" -print -quit 2>/dev/null
}
version_is() {
  grep -q "<CurVersion>$1</CurVersion>" "$GAMEDIR/PatchCfg/NewUpdateCfg.xml" || fail "installed version is not $1"
  [ "$(cat "$(ci Content/version.txt)")" = "$1" ] || fail "the files are not those of $1"
}
game_started_with() { # expected arguments
  local rec t=0
  # The launcher ends as soon as it has asked for the game.
  while rec=$(ci Binaries/game-run.txt); [ ! -s "$rec" ] && [ $t -lt 200 ]; do sleep 0.1; t=$((t + 1)); done
  [ -s "$rec" ] || fail "the game was not started"
  [ "$(sed -n 's/^args=//p' "$rec" | tr -d '\r')" = "$1" ] || fail "game arguments '$(sed -n 's/^args=//p' "$rec")', expected '$1'"
  sed -n 's/^cwd=//p' "$rec" | grep -qi 'Binaries$' || fail "the game's working directory is not Binaries"
}

# ---- scenarios ------------------------------------------------------------------
up_to_date() {
  install up_to_date 0000300
  start_launcher "-x" "tail"
  driver wait-window "$TITLE" 30000 wait-enabled "$TITLE" 1003 30000 >/dev/null || fail "no start button"
  sleep 0.3; shot launcher_ready
  driver mouse-click "$TITLE" 1003 >/dev/null
  wait_launcher 0 30
  game_started_with "run-x tail"
  version_is 0000300
}

log_has() { [ -f "$GAMEDIR/PatchCfg/PatchTemp/Tidewell.log" ] &&
  iconv -f UTF-16 -t UTF-8 "$GAMEDIR/PatchCfg/PatchTemp/Tidewell.log" 2>/dev/null | grep -q "$1"; }
logs_have() { # the open log and the failed runs' .err logs
  local f
  for f in "$GAMEDIR"/PatchCfg/PatchTemp/*.log "$GAMEDIR"/PatchCfg/PatchTemp/*.err; do
    [ -f "$f" ] && iconv -f UTF-16 -t UTF-8 "$f" 2>/dev/null | grep -qF "$1" && return 0
  done
  return 1
}

upgrade_chain() {
  install upgrade_chain 0000100 "" "" 300  # slow enough to be seen downloading
  start_launcher
  driver wait-window "$TITLE" 30000 >/dev/null || fail "no window"
  local t=0
  until log_has "DownloadAllPatchFiles::Begin"; do
    [ $t -ge 300 ] && fail "no download began"; sleep 0.1; t=$((t + 1))
  done
  sleep 1.5; shot launcher_downloading
  # During the second step the start button is busy too.
  t=0
  until [ "$(iconv -f UTF-16 -t UTF-8 "$GAMEDIR/PatchCfg/PatchTemp/Tidewell.log" 2>/dev/null | grep -c "DownloadAllPatchFiles::Begin")" -ge 2 ]; do
    [ $t -ge 300 ] && fail "no second step began"; sleep 0.1; t=$((t + 1))
  done
  driver disabled "$TITLE" 1003 >/dev/null || fail "the start button takes clicks during the second step"
  wait_launcher 0 120
  version_is 0000300
  game_started_with "run"
  [ -f "$GAMEDIR/ServerList.ini" ] || fail "no ServerList.ini for the game"
}

download_error() {
  install download_error 0000100 broken/
  start_launcher
  driver box "" ok 60000 >/dev/null || fail "no error box"
  # OK: the buttons are free again and the launcher stays.
  driver wait-enabled "$TITLE" 1003 10000 >/dev/null || fail "the start button stays busy after OK"
  shot launcher_download_error
  kill -0 "$LAUNCHER_PID" || fail "the launcher ended after OK"
  # The start button asks again; this time Cancel ends the launcher.
  driver click "$TITLE" 1003 box "" cancel 60000 >/dev/null || fail "no second error box"
  wait_launcher 0 20
  version_is 0000100
  [ -z "$(ci Binaries/game-run.txt)" ] || fail "the game was started"
}

base_packs() {
  install base_packs none
  start_launcher
  wait_launcher 0 180
  version_is 0000300
  game_started_with "run"
  [ ! -f "$GAMEDIR/base1.zip" ] && [ ! -f "$GAMEDIR/base2.zip" ] || fail "base packs left behind"
}

new_launcher() {
  install new_launcher 0000100 newlauncher/
  start_launcher
  local t=0
  while ! cmp -s "$GAMEDIR/launcher.exe" "$NL/v200/launcher.exe"; do
    [ $t -ge 600 ] && fail "launcher.exe was not replaced by the delivered one"
    sleep 0.1; t=$((t + 1))
  done
  wait_launcher 0 60  # the first launcher hands over and ends
  # The new one goes on to the server's version and starts the game.
  t=0
  while [ -z "$(ci Binaries/game-run.txt)" ]; do
    [ $t -ge 600 ] && fail "the new launcher did not start the game"
    sleep 0.1; t=$((t + 1))
  done
  version_is 0000300
  game_started_with "run"
}

package_on_command_line() {
  install package_on_command_line 0000100
  local before; before=$(grep -c "up_0000100_0000200" "$E2E/nginx/access.log" || true)
  start_launcher "$(winpath "$SERVER/pkg/up_0000100_0000200.exe")"
  wait_launcher 0 120
  version_is 0000300
  game_started_with "run$(winpath "$SERVER/pkg/up_0000100_0000200.exe")"  # the tail goes to the game as it is
  # The first step came from the command line, the second from the server.
  [ "$(grep -c "up_0000100_0000200" "$E2E/nginx/access.log" || true)" = "$before" ] ||
    fail "the step of the package on the command line was downloaded"
}

channels() {
  install channel_qx 0000300 "" qx
  start_launcher "x|%player1%|%secret%"
  driver wait-enabled "$TITLE" 1003 30000 click "$TITLE" 1003 >/dev/null || fail "no start button"
  wait_launcher 0 30
  game_started_with "run_qx;player1;secret"
  install channel_qx_plain 0000300 "" qx
  start_launcher "tail"
  driver wait-enabled "$TITLE" 1003 30000 click "$TITLE" 1003 >/dev/null || fail "no start button"
  wait_launcher 0 30
  game_started_with "run_qx"
  install channel_yun 0000300 "" yun
  start_launcher "tail"
  driver wait-enabled "$TITLE" 1003 30000 click "$TITLE" 1003 >/dev/null || fail "no start button"
  wait_launcher 0 30
  game_started_with "run_yun tail"
}

second_launcher() {
  install second_launcher 0000300
  start_launcher
  local first=$LAUNCHER_PID
  driver wait-enabled "$TITLE" 1003 30000 click "$TITLE" 1005 wait-iconic "$TITLE" 1003 10000 >/dev/null ||
    fail "the window does not minimise"
  start_launcher
  wait_launcher 0 30  # the second one wakes the first and ends
  kill -0 "$first" || fail "the first launcher ended"
  driver wait-restored "$TITLE" 1003 10000 >/dev/null || fail "the first launcher's window was not restored"
  LAUNCHER_PID=$first
  driver click "$TITLE" 1004 >/dev/null
  wait_launcher 0 20
  [ -z "$(ci Binaries/game-run.txt)" ] || fail "the game was started"
}

trust() { # public key file: the installation verifies what it fetches
  sed -i "s|</Root>|<TrustedKeys><Key>$(sed -n 2p "$1")</Key></TrustedKeys></Root>|" "$GAMEDIR/PatchCfg/NewUpdateCfg.xml"
}
same_tree() { # tree: every file of it in the installation, byte for byte; removed ones gone
  (cd "$1" && find . -type f) | while IFS= read -r f; do cmp -s "$1/$f" "$GAMEDIR/$f" || fail "$f differs"; done
}

non_ascii() {
  install non_ascii 0000100 nonascii/
  cp -r "$NA/v100/." "$GAMEDIR/"
  trust "$NA/key.pub"
  cp -r "$GAMEDIR" "$E2E/non_ascii/updater"  # the same installation for the updater
  start_launcher
  wait_launcher 0 120
  grep -q "<CurVersion>0000200</CurVersion>" "$GAMEDIR/PatchCfg/NewUpdateCfg.xml" || fail "not updated to 0000200"
  same_tree "$NA/v200"
  [ ! -e "$GAMEDIR/$(printf '\U0001F600')/old$(printf '\U0001F600').txt" ] || fail "the removed file stayed"
  log_has "delta applied: " || fail "the delta package was not used"
  [ "$(find "$GAMEDIR/PatchCfg/PatchTemp" -mindepth 1 | wc -l)" = 1 ] || fail "PatchTemp holds more than the log: $(find "$GAMEDIR/PatchCfg/PatchTemp")"
  GAMEDIR="$E2E/non_ascii/updater"
  "$ROOT/scripts/wine-run" "$BUILD/tools/updater.exe" update --dir "$(winpath "$GAMEDIR")" >"$E2E/non_ascii/updater.out" 2>&1 ||
    fail "updater: $(cat "$E2E/non_ascii/updater.out")"
  same_tree "$NA/v200"
}

two_installations() {
  # The first installation registers itself; a second one is updated in
  # place all the same, and the first one's registration stays.
  install first 0000300
  local first=$GAMEDIR
  start_launcher
  driver wait-enabled "$TITLE" 1003 30000 click "$TITLE" 1003 >/dev/null || fail "no start button"
  wait_launcher 0 30
  rm -f "$(ci Binaries/game-run.txt)"
  KEEP_REGISTRATION=1 install second 0000100
  start_launcher
  wait_launcher 0 120
  version_is 0000300
  game_started_with "run"
  [ -z "$(find "$first" -iname game-run.txt)" ] || fail "the first installation's game was started"
}

failure_causes() {
  # Each cause: its own text on the status line (screenshot), its own log
  # line, and a start button that runs everything again.
  local cases=(
    "nocon||无法连接更新服务器|failed: no connection"
    "error500|error500/|更新服务器出错|HTTP status 500"
    "notfound|broken/|服务器上找不到更新文件|HTTP status 404"
    "untrusted||更新签名不受信任|Error:signature refused"
    "diskfull|diskfull/|磁盘空间不足|Error:disk full"
    "damaged|damaged/|下载的文件已损坏|does not match the revision table"
    "incomplete||客户端安装不完整|Error:the installation is incomplete"
  )
  local c name site text line
  for c in "${cases[@]}"; do
    IFS='|' read -r name site text line <<<"$c"
    install "cause_$name" "$( [ "$name" = incomplete ] && echo none || echo 0000100 )" "$site"
    case $name in
      nocon) sed -i "s|$URL|http://127.0.0.1:9/|" "$GAMEDIR/PatchCfg/NewUpdateCfg.xml" ;;
      untrusted) trust "$NA/key.pub" ;;
      incomplete) echo '<?xml version="1.0"?><Root/>' > "$GAMEDIR/PatchCfg/NewUpdateInfo.xml" ;;
    esac
    start_launcher
    # A download that fails on every server ends with the design's box first.
    case $name in notfound|diskfull|damaged) driver box "" ok 60000 >/dev/null || fail "no error box" ;; esac
    driver wait-text "$TITLE" 1090 "$text" 60000 >/dev/null || fail "the status line does not say '$text'"
    driver wait-enabled "$TITLE" 1003 10000 >/dev/null || fail "no retry button"
    shot "cause_$name"
    logs_have "$line" || fail "no log line '$line'"
    if [ "$name" = nocon ]; then  # mended, the retry updates
      sed -i "s|http://127.0.0.1:9/|$URL|" "$GAMEDIR/PatchCfg/NewUpdateCfg.xml"
      driver click "$TITLE" 1003 >/dev/null
      wait_launcher 0 120
      version_is 0000300
      continue
    fi
    driver click "$TITLE" 1004 >/dev/null
    wait_launcher 0 20
  done
}

repair_menu() {
  # A damaged and a deleted file, restored from the notification-area menu
  # while the launcher waits for the player to start the game.
  install repair_menu 0000300 chunks/
  start_launcher
  driver wait-text "$TITLE" 1090 "请点击开始游戏" 60000 >/dev/null || fail "not up to date"
  local gone; gone=$(cd "$GAMEDIR" && ls Content/Pack*/*.pak | head -1)
  rm "$GAMEDIR/$gone"
  printf 'damaged by a disk error' | dd of="$(ci Content/World.pak)" bs=1 seek=1000000 conv=notrunc 2>/dev/null
  driver click "$TITLE" 1005 wait-iconic "$TITLE" 1003 10000 tray-menu "$TITLE" 1003 1 10000 >/dev/null ||
    fail "no repair entry in the notification-area menu"
  driver wait-text "$TITLE" 1090 "修复完成：已恢复 2 个文件" 60000 >/dev/null || fail "the repair did not end well"
  shot launcher_repaired
  same_tree "$SERVER/v300"
  log_has "damaged: Content.World.pak" || fail "the log does not name the damaged file"
  log_has "repair complete: 2 files restored" || fail "no repair line in the log"
  # The same from the settings dialog's button.
  rm "$GAMEDIR/$gone"
  driver click "$TITLE" 1035 wait-enabled "" 1055 10000 click "" 1055 >/dev/null || fail "no repair button in the settings"
  driver wait-text "$TITLE" 1090 "修复完成：已恢复 1 个文件" 60000 >/dev/null || fail "the settings' repair did not end well"
  same_tree "$SERVER/v300"
  driver click "$TITLE" 1003 >/dev/null
  wait_launcher 0 60
  game_started_with "run"
  # And at the start, asked for on the command line: an intact installation is told so.
  rm -f "$(ci Binaries/game-run.txt)"
  start_launcher -repair
  driver wait-text "$TITLE" 1090 "客户端文件完好" 60000 >/dev/null || fail "-repair did not verify the installation"
  driver click "$TITLE" 1004 >/dev/null
  wait_launcher 0 30
}

keyboard() {
  # The window and the settings dialog by the keyboard alone: Tab and
  # Shift+Tab move the focus from button to button, each a push button named
  # as its tooltip for a screen reader; Enter opens the settings, Escape
  # closes them, Space starts the game.
  install keyboard 0000300
  start_launcher
  driver wait-window "$TITLE" 30000 wait-enabled "$TITLE" 1003 30000 >/dev/null || fail "no start button"
  # The skin's status line and bars, as a screen reader has them.
  driver accessible "$TITLE" 1090 statictext "开始游戏" 5000 accessible "$TITLE" 1091 progressbar "Progress of the file: " 5000 \
    accessible "$TITLE" 1092 progressbar "Progress of the update: " 5000 || fail "the status and the bars are not exposed"
  local n; for n in 1 2 3 4 5; do
    driver keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Start" 500 >/dev/null 2>&1 && break
  done
  driver focus "$TITLE" 1003 "Start" 500 keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Close" 3000 keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Minimise" 3000 \
    keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Game settings" 3000 keys "$TITLE" 1003 shift-tab ";" \
    focus "$TITLE" 1003 "Minimise" 3000 keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Game settings" 3000 \
    keys "$TITLE" 1003 enter ";" wait-enabled "" 1055 10000 keys "" 1055 escape ";" \
    || fail "the keyboard does not reach every button"
  driver focus "$TITLE" 1003 "Game settings" 3000 keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Start" 3000 \
    >/dev/null || fail "the focus does not come back from the settings"
  sleep 0.3; shot launcher_keyboard_focus
  driver keys "$TITLE" 1003 space ";" >/dev/null || fail "Space does not start the game"
  wait_launcher 0 30
  game_started_with "run"
}

scaled_as() { # "x y w h" at 100 %, the same read now, percent, the indices to compare
  local was=($1) now=($2) percent=$3 i; shift 3
  for i in "$@"; do
    local want=$(( (${was[$i]} * percent + 50) / 100 ))
    [ $(( ${now[$i]} - want )) -le 1 ] && [ $(( want - ${now[$i]} )) -le 1 ] ||
      fail "at $percent %: '${now[*]}' is not '${was[*]}' scaled"
  done
}

high_dpi() {
  # The skin at 100, 150 and 200 %. Wine reads the screen's scale (LogPixels)
  # when a program starts and keeps it for all its monitors: the other scales
  # run in copies of the prefix, which the other tests share, and a move to a
  # monitor of another scale is the message Windows sends then.
  install high_dpi 0000300
  start_launcher
  driver wait-window "$TITLE" 30000 wait-enabled "$TITLE" 1003 30000 >/dev/null || fail "no start button"
  local base button
  base=$(driver rect-holding 1003 | tr -d '\r') && button=$(driver rect-control "$TITLE" 1003 | tr -d '\r') ||
    fail "no window to measure"
  sleep 0.3; shot launcher_dpi_96
  driver dpi-changed 1003 192 >/dev/null || fail "the window did not take the new scale"
  scaled_as "$base" "$(driver rect-holding 1003 | tr -d '\r')" 200 2 3
  scaled_as "$button" "$(driver rect-control "$TITLE" 1003 | tr -d '\r')" 200 0 1 2 3
  driver dpi-changed 1003 96 >/dev/null
  scaled_as "$base" "$(driver rect-holding 1003 | tr -d '\r')" 100 2 3
  driver click "$TITLE" 1004 >/dev/null
  wait_launcher 0 30
  local dpi shared=$WINEPREFIX
  for dpi in 144 192; do
    export WINEPREFIX="$E2E/prefix$dpi"
    rm -rf "$WINEPREFIX" && cp -a "$shared" "$WINEPREFIX" && rm -f "$WINEPREFIX/wineserver"
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
      fail "cannot set the scale"
    start_launcher
    driver wait-window "$TITLE" 30000 wait-enabled "$TITLE" 1003 30000 >/dev/null || fail "no start button at $dpi DPI"
    scaled_as "$base" "$(driver rect-holding 1003 | tr -d '\r')" $(( dpi * 100 / 96 )) 2 3
    scaled_as "$button" "$(driver rect-control "$TITLE" 1003 | tr -d '\r')" $(( dpi * 100 / 96 )) 0 1 2 3
    sleep 3; shot "launcher_dpi_$dpi"  # the first seconds of a fresh prefix leave a button black-cornered
    driver click "$TITLE" 1004 >/dev/null
    wait_launcher 0 30
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  done
  export WINEPREFIX="$shared"
}

usage() {
  install usage 0000300
  start_launcher "/?"
  driver box "usage: launcher.exe" ok 30000 >/dev/null || fail "no usage box"
  wait_launcher 0 20
  [ -z "$(ci Binaries/game-run.txt)" ] || fail "the game was started"
}

ALL=(usage up_to_date upgrade_chain download_error base_packs new_launcher package_on_command_line channels second_launcher
     non_ascii two_installations failure_causes repair_menu keyboard high_dpi)
for s in "${@:-${ALL[@]}}"; do "$s"; done
echo "== launcher whole runs passed: ${*:-${ALL[*]}}"
