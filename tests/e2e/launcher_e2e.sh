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
GAME="$BUILD/tests/samplegame.exe"
PATCHTOOL="$BUILD/../host/tools/patchtool"
[ -x "$PATCHTOOL" ] || PATCHTOOL=""
. "$ROOT/tests/e2e/updater-lib.sh"
TITLE=Tidewell
log_text() { iconv -f UTF-16 -t UTF-8 "$GAMEDIR/PatchCfg/PatchTemp/Tidewell.log" 2>/dev/null; }
fail() { echo "FAIL [$SCENARIO]: $*"; [ -n "${GAMEDIR:-}" ] && all_logs | tail -n 60; exit 1; }
all_logs() { # the open log and the failed runs' .err logs, each under its name
  local f
  for f in "${GAMEDIR:-/nonexistent}"/PatchCfg/PatchTemp/*.{log,err}; do
    [ -f "$f" ] && { echo "-- $f"; iconv -f UTF-16 -t UTF-8 "$f" 2>/dev/null; }
  done
  return 0
}
patchtool() { # args with Linux paths; the host build's tool when there is one
  if [ -n "$PATCHTOOL" ]; then "$PATCHTOOL" "$@" >/dev/null; return; fi
  local a=() x
  for x in "$@"; do case $x in /*) a+=("$(winpath "$x")");; *) a+=("$x");; esac; done
  run "$BUILD/tools/patchtool.exe" "${a[@]}" >/dev/null
}
driver() { run "$BUILD/tests/driver.exe" "$@"; }
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
pack() { # folder of the trees, from, to, name, [--delta]: FOLDER/pkg/NAME_0000FROM_0000TO.exe
  mkdir -p "$1/pkg"
  patchtool pack --old "$1/v$2" --new "$1/v$3" --from "0000$2" --to "0000$3" -o "$1/pkg/$4_0000$2_0000$3.exe" "${@:5}"
}
site() { # name, [folder of the packages]: the release published again below URL/name/
  local d=${2:-$SERVER}
  sed "s|url=$URL|url=${URL}$1/|" "$SERVER/publish.txt" > "$d/$1.txt"
  [ "$1" != chunks ] || echo "tree 0000300 v300" >> "$d/$1.txt"
  patchtool publish "$d/$1.txt" -o "$SERVER/www/$1"
}
for step in "100 200 up" "200 300 up" "300 200 down"; do pack "$SERVER" $step; done
patchtool publish "$SERVER/publish.txt" -o "$SERVER/www"
(cd "$SERVER/v100" && zip -qr "$SERVER/www/base1.zip" . -x DATA.dat && zip -q "$SERVER/www/base2.zip" DATA.dat)
# Sites for the failure causes: packages gone, a package of another digest, a
# revision table stating sizes far larger than any disk; and the latest version
# whole in a chunk store, from which installations are verified and repaired.
for s in broken damaged diskfull chunks; do site $s; done
rm -f "$SERVER"/www/broken/patches/*.exe
damage "$SERVER/www/damaged/patches/up_0000100_0000200.exe"
rezip "$SERVER/www/diskfull/newupdateinfo.zip" Revision.xml 's/size="[0-9][0-9]*"/size="1125899906842624"/g'
# A package that also delivers a new launcher: launcher.exe differs in v200.
NL="$SERVER/newlauncher"
mkdir -p "$NL" && cp -r "$SERVER/v100" "$SERVER/v200" "$NL/"
cp "$LAUNCHER" "$NL/v100/launcher.exe"
{ cat "$LAUNCHER"; printf 'new launcher build'; } > "$NL/v200/launcher.exe"
pack "$NL" 100 200 up
cp "$SERVER/pkg/up_0000200_0000300.exe" "$SERVER/pkg/down_0000300_0000200.exe" "$NL/pkg/"
site newlauncher "$NL"
# Names in three scripts, changed, added and removed from 0000100 to 0000200,
# packed whole and as deltas, published signed.
NA="$SERVER/nonascii"
mkdir -p "$NA" && cp -r "$SERVER/v100" "$SERVER/v200" "$NA/"
head -c 200000 /dev/urandom > "$NA/base"
for v in v100 v200; do
  mkdir -p "$NA/$v/Données/café" "$NA/$v/数据/地图" "$NA/$v/😀"
  printf "$v%.0s" {1..100} > "$NA/$v/Données/café/résumé.txt"
  { cat "$NA/base"; printf "$v%.0s" {1..50}; } > "$NA/$v/数据/地图/文件.pak"
done
printf 'removed in 0000200' > "$NA/v100/😀/old😀.txt"
printf 'added in 0000200' > "$NA/v200/😀/new😀.txt"
patchtool keygen -o "$NA/key"
pack "$NA" 100 200 up
pack "$NA" 100 200 upd --delta
printf "latest 0000200\nserver url=%snonascii/ dir=patches/ version=0000200\nstep 0000100 0000200 upgrade=%s upgradedelta=%s\n" \
  "$URL" "$NA/pkg/up_0000100_0000200.exe" "$NA/pkg/upd_0000100_0000200.exe" > "$NA/publish.txt"
patchtool publish "$NA/publish.txt" -o "$SERVER/www/nonascii" --sign "$NA/key.key"

# ---- helpers of one scenario --------------------------------------------------
install() { # scenario name, version (or none), [site], [channel], [KiB/s]
  SCENARIO=$1
  local dir="$E2E/$1"
  rm -rf "$dir" && mkdir -p "$dir"
  "$ROOT/scripts/sample-client" "$dir" "$URL${3:-}" --game "$GAME" --version "$2" ${4:+--channel "$4"} \
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
wait_launcher() { # seconds: it ends within them, with exit code 0
  poll "$1" "the launcher still runs after $1 s" gone "$LAUNCHER_PID"
  local rc=0; wait "$LAUNCHER_PID" || rc=$?
  [ "$rc" = 0 ] || fail "launcher exit code $rc, expected 0"
}
close_launcher() { driver click "$TITLE" 1004 >/dev/null; wait_launcher "${1:-30}"; }
ready() { driver wait-window "$TITLE" 30000 wait-enabled "$TITLE" 1003 30000 >/dev/null || fail "no start button${1:-}"; }
ci() { # a file of the installation by its path, in any case (Windows ignores it)
  find "$GAMEDIR" -ipath "$GAMEDIR/$1" -print -quit 2>/dev/null
}
version_is() {
  grep -q "<CurVersion>$1</CurVersion>" "$GAMEDIR/PatchCfg/NewUpdateCfg.xml" || fail "installed version is not $1"
  [ "$(cat "$(ci Content/version.txt)")" = "$1" ] || fail "the files are not those of $1"
}
game_ran() { [ -s "$(ci Binaries/game-run.txt)" ]; }
no_game() { [ -z "$(ci Binaries/game-run.txt)" ] || fail "the game was started"; }
game_started_with() { # expected arguments
  # The launcher ends as soon as it has asked for the game.
  poll 20 "the game was not started" game_ran
  local rec; rec=$(ci Binaries/game-run.txt)
  [ "$(sed -n 's/^args=//p' "$rec" | tr -d '\r')" = "$1" ] || fail "game arguments '$(sed -n 's/^args=//p' "$rec")', expected '$1'"
  sed -n 's/^cwd=//p' "$rec" | grep -qi 'Binaries$' || fail "the game's working directory is not Binaries"
}
play() { # launcher argument, expected game arguments: the start button clicked, the game runs with them
  rm -f "$(ci Binaries/game-run.txt)"
  start_launcher "$1"
  driver wait-enabled "$TITLE" 1003 30000 click "$TITLE" 1003 >/dev/null || fail "no start button"
  wait_launcher 30
  game_started_with "$2"
}
updated() { # seconds[, game arguments]: the launcher ends within them, at 0000300, the game started
  wait_launcher "$1"; version_is 0000300; game_started_with "${2:-run}"
}
log_has() { log_text | grep -q "$1"; }
begun() { [ "$(log_text | grep -c "DownloadAllPatchFiles::Begin")" -ge "$1" ]; }  # steps begun
logs_have() { all_logs | grep -qF "$1"; }
same_tree() { # tree: every file of it in the installation, byte for byte
  (cd "$1" && find . -type f) | while IFS= read -r f; do cmp -s "$1/$f" "$GAMEDIR/$f" || fail "$f differs"; done
}

# ---- scenarios ------------------------------------------------------------------
up_to_date() {
  # One installation of the latest version, started in every way a player
  # starts it.
  install up_to_date 0000300
  # Asked for its usage, it shows it and ends without the game.
  start_launcher "/?"
  driver box "usage: launcher.exe" ok 30000 >/dev/null || fail "no usage box"
  wait_launcher 20
  no_game
  # A second launcher wakes the first, minimised, and ends.
  start_launcher
  local first=$LAUNCHER_PID
  driver wait-enabled "$TITLE" 1003 30000 click "$TITLE" 1005 wait-iconic "$TITLE" 1003 10000 >/dev/null ||
    fail "the window does not minimise"
  start_launcher
  wait_launcher 30
  kill -0 "$first" || fail "the first launcher ended"
  driver wait-restored "$TITLE" 1003 10000 >/dev/null || fail "the first launcher's window was not restored"
  LAUNCHER_PID=$first
  close_launcher 20
  no_game
  # The window and the settings dialog by the keyboard alone: Tab and
  # Shift+Tab move the focus from button to button, each a push button named
  # as its tooltip for a screen reader; Enter opens the settings, Escape
  # closes them, Space starts the game.
  start_launcher
  ready
  # The skin's status line and bars, as a screen reader has them.
  driver accessible "$TITLE" 1090 statictext "开始游戏" 5000 accessible "$TITLE" 1091 progressbar "当前文件进度: " 5000 \
    accessible "$TITLE" 1092 progressbar "总进度: " 5000 || fail "the status and the bars are not exposed"
  local n; for n in {1..5}; do driver keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Start" 500 &>/dev/null && break; done
  driver focus "$TITLE" 1003 "Start" 500 keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Close" 3000 keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Minimise" 3000 \
    keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Game settings" 3000 keys "$TITLE" 1003 shift-tab ";" \
    focus "$TITLE" 1003 "Minimise" 3000 keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Game settings" 3000 \
    keys "$TITLE" 1003 enter ";" wait-enabled "" 1055 10000 keys "" 1055 escape ";" \
    || fail "the keyboard does not reach every button"
  driver focus "$TITLE" 1003 "Game settings" 3000 keys "$TITLE" 1003 tab ";" focus "$TITLE" 1003 "Start" 3000 \
    >/dev/null || fail "the focus does not come back from the settings"
  sleep 0.3; shot launcher_keyboard_focus
  driver keys "$TITLE" 1003 space ";" >/dev/null || fail "Space does not start the game"
  wait_launcher 30
  game_started_with "run"
  # The skin at 100, 150 and 200 %. Wine reads the screen's scale (LogPixels)
  # when a program starts and keeps it for all its monitors: the other scales
  # run in copies of the prefix, which the other tests share, and a move to a
  # monitor of another scale is the message Windows sends then.
  start_launcher
  ready
  local base button
  base=$(driver rect-holding 1003 | tr -d '\r') && button=$(driver rect-control "$TITLE" 1003 | tr -d '\r') ||
    fail "no window to measure"
  sleep 0.3; shot launcher_dpi_96
  driver dpi-changed 1003 192 >/dev/null || fail "the window did not take the new scale"
  scaled_to 200 button
  driver dpi-changed 1003 96 >/dev/null
  scaled_to 100
  close_launcher
  local dpi shared=$WINEPREFIX
  for dpi in 144 192; do
    export WINEPREFIX="$E2E/prefix$dpi"
    rm -rf "$WINEPREFIX" && cp -a "$shared" "$WINEPREFIX" && rm -f "$WINEPREFIX/wineserver"
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
      fail "cannot set the scale"
    start_launcher
    ready " at $dpi DPI"
    scaled_to $(( dpi * 100 / 96 )) button
    sleep 3; shot "launcher_dpi_$dpi"  # the first seconds of a fresh prefix leave a button black-cornered
    close_launcher
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  done
  export WINEPREFIX="$shared"
  # The mouse on the start button; the command line's tail goes to the game.
  rm -f "$(ci Binaries/game-run.txt)"
  start_launcher "-x" "tail"
  ready
  sleep 0.3; shot launcher_ready
  driver mouse-click "$TITLE" 1003 >/dev/null
  wait_launcher 30
  game_started_with "run-x tail"
  version_is 0000300
  # This installation registered itself; a second one is updated in place all
  # the same, and the first one's registration stays.
  first=$GAMEDIR
  rm -f "$(ci Binaries/game-run.txt)"
  KEEP_REGISTRATION=1 install second 0000100
  start_launcher
  updated 120
  [ -z "$(find "$first" -iname game-run.txt)" ] || fail "the first installation's game was started"
}

upgrade_chain() {
  install upgrade_chain 0000100 "" "" 300  # slow enough to be seen downloading
  start_launcher
  driver wait-window "$TITLE" 30000 >/dev/null || fail "no window"
  poll 30 "no download began" begun 1
  sleep 1.5; shot launcher_downloading
  # During the second step the start button is busy too.
  poll 30 "no second step began" begun 2
  driver disabled "$TITLE" 1003 >/dev/null || fail "the start button takes clicks during the second step"
  updated 120
  [ -f "$GAMEDIR/ServerList.ini" ] || fail "no ServerList.ini for the game"
}

base_packs() {
  install base_packs none
  start_launcher
  updated 180
  [ ! -f "$GAMEDIR/base1.zip" ] && [ ! -f "$GAMEDIR/base2.zip" ] || fail "base packs left behind"
}

new_launcher() {
  install new_launcher 0000100 newlauncher/
  start_launcher
  poll 60 "launcher.exe was not replaced by the delivered one" cmp -s "$GAMEDIR/launcher.exe" "$NL/v200/launcher.exe"
  wait_launcher 60  # the first launcher hands over and ends
  # The new one goes on to the server's version and starts the game.
  poll 60 "the new launcher did not start the game" game_ran
  version_is 0000300
  game_started_with "run"
}

package_on_command_line() {
  install package_on_command_line 0000100
  local before; before=$(grep -c "up_0000100_0000200" "$E2E/nginx/access.log" || true)
  start_launcher "$(winpath "$SERVER/pkg/up_0000100_0000200.exe")"
  updated 120 "run$(winpath "$SERVER/pkg/up_0000100_0000200.exe")"  # the tail goes to the game as it is
  # The first step came from the command line, the second from the server.
  [ "$(grep -c "up_0000100_0000200" "$E2E/nginx/access.log" || true)" = "$before" ] ||
    fail "the step of the package on the command line was downloaded"
}

channels() {
  install channel_qx 0000300 "" qx
  play "x|%player1%|%secret%" "run_qx;player1;secret"
  play tail run_qx
  install channel_yun 0000300 "" yun
  play tail "run_yun tail"
}

non_ascii() {
  install non_ascii 0000100 nonascii/
  cp -r "$NA/v100/." "$GAMEDIR/"
  trust "$GAMEDIR" "$NA/key.pub"
  start_launcher
  wait_launcher 120
  grep -q "<CurVersion>0000200</CurVersion>" "$GAMEDIR/PatchCfg/NewUpdateCfg.xml" || fail "not updated to 0000200"
  same_tree "$NA/v200"
  [ ! -e "$GAMEDIR/😀/old😀.txt" ] || fail "the removed file stayed"
  log_has "delta applied: " || fail "the delta package was not used"
  [ "$(find "$GAMEDIR/PatchCfg/PatchTemp" -mindepth 1 | wc -l)" = 1 ] || fail "PatchTemp holds more than the log: $(find "$GAMEDIR/PatchCfg/PatchTemp")"
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
      untrusted) trust "$GAMEDIR" "$NA/key.pub" ;;
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
      wait_launcher 120
      version_is 0000300
    elif [ "$name" = notfound ]; then  # the start button asks again; Cancel ends the launcher
      driver click "$TITLE" 1003 box "" cancel 60000 >/dev/null || fail "no second error box"
      wait_launcher 20
      version_is 0000100
      no_game
    else
      close_launcher 20
    fi
  done
}

locked_file() {
  # A file the step replaces is held open by another program: the status
  # line names the file the launcher waits for; held past the installer's
  # 30 s bound, the step is undone and the cause says to close the program.
  install locked_file 0000100
  driver hold "$(winpath "$(ci Content/version.txt)")" 120000 &
  local holder=$!
  LAUNCHERS+=("$holder")
  start_launcher
  driver wait-text "$TITLE" 1090 "正在等待" 60000 >/dev/null || fail "the status line does not say what it waits for"
  shot launcher_waiting_locked
  driver wait-text "$TITLE" 1090 "游戏文件正被其他程序使用" 60000 >/dev/null || fail "no cause for the file in use"
  driver wait-enabled "$TITLE" 1003 10000 >/dev/null || fail "no retry button"
  shot cause_locked
  logs_have "is in use" || fail "no log line on the file in use"
  version_is 0000100
  kill "$holder" 2>/dev/null || true
  close_launcher 20
}

repair_menu() {
  # A damaged and a deleted file, restored from the notification-area menu
  # while the launcher waits for the player to start the game.
  install repair_menu 0000300 chunks/
  start_launcher
  driver wait-text "$TITLE" 1090 "请点击开始游戏" 60000 >/dev/null || fail "not up to date"
  local gone; gone=$(cd "$GAMEDIR" && ls Content/Pack*/*.pak | head -1)
  rm "$GAMEDIR/$gone"
  damage "$(ci Content/World.pak)"
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
  wait_launcher 60
  game_started_with "run"
  # And at the start, asked for on the command line: an intact installation is told so.
  rm -f "$(ci Binaries/game-run.txt)"
  start_launcher -repair
  driver wait-text "$TITLE" 1090 "客户端文件完好" 60000 >/dev/null || fail "-repair did not verify the installation"
  close_launcher
}

scaled_as() { # "x y w h" at 100 %, the same read now, percent, the indices to compare
  local was=($1) now=($2) percent=$3 i; shift 3
  for i in "$@"; do
    local want=$(( (${was[$i]} * percent + 50) / 100 ))
    [ $(( ${now[$i]} - want )) -le 1 ] && [ $(( want - ${now[$i]} )) -le 1 ] ||
      fail "at $percent %: '${now[*]}' is not '${was[*]}' scaled"
  done
}
scaled_to() { # percent, [button]: the window's size (and the start button's place and size) at that scale
  scaled_as "$base" "$(driver rect-holding 1003 | tr -d '\r')" "$1" 2 3
  [ -z "${2:-}" ] || scaled_as "$button" "$(driver rect-control "$TITLE" 1003 | tr -d '\r')" "$1" 0 1 2 3
}

ALL=(up_to_date upgrade_chain base_packs new_launcher package_on_command_line channels non_ascii
     failure_causes locked_file repair_menu)
for s in "${@:-${ALL[@]}}"; do "$s"; done
echo "== launcher whole runs passed: ${*:-${ALL[*]}}"
