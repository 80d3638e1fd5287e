#!/usr/bin/env bash
# Whole updates served by nginx (started by the CTest fixture): a healthy run
# sends no range; a missing server is left for the next one of the version; a
# package begun by an earlier, killed run is continued with a validated range;
# the updater's own download resumes and keeps to its rate limit.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$1
NGX="$BUILD/fixtures/nginx"
PORT=$(cat "$NGX/port")
URL="http://127.0.0.1:$PORT/e2e/"
W="$BUILD/e2e/nginx"
WWW="$NGX/www/e2e"
rm -rf "$W" "$WWW" && mkdir -p "$W" "$WWW"
. "$ROOT/tests/e2e/updater-lib.sh"
fail() { echo "nginx e2e: $*"; exit 1; }

python3 - "$W" <<'PY'
import os, random, sys
rng = random.Random(14)
def put(tree, rel, data):
    path = os.path.join(sys.argv[1], tree, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
for i in range(12):
    old = rng.randbytes(300000)
    put("v100", "Data/file%02d.bin" % i, old)
    put("v200", "Data/file%02d.bin" % i, rng.randbytes(300000) if i % 2 else old)
for v in ("100", "200"):
    put("v" + v, "Binaries/Game.exe", b"MZ " + v.encode())
PY
PT="$BUILD/tools/patchtool.exe"
UP="$BUILD/tools/updater.exe"
run "$PT" pack --old "$(winpath "$W/v100")" --new "$(winpath "$W/v200")" --from 0000100 --to 0000200 \
  -o "$(winpath "$W/Up1.exe")" >/dev/null
ONE="server url=$URL dir=patches/ version=0000200"
publish() { # server lines, [more of the step], [publish options]
  printf "latest 0000200\n%s\nstep 0000100 0000200 upgrade=Up1.exe%s\n" "$1" "${2:-}" > "$W/publish.txt"
  rm -rf "$WWW" && run "$PT" publish "$(winpath "$W/publish.txt")" -o "$(winpath "$WWW")" "${@:3}" >/dev/null
}
game() { # name: an installation at 0000100 fetching from nginx
  rm -rf "$W/$1" && cp -r "$W/v100" "$W/$1" && config "$W/$1" 0000100 "${URL}NewUpdateInfo.zip"
}
updated() { # name: the updater brings it to 0000200
  expect 0 run "$UP" update --dir "$(winpath "$W/$1")"
  diff -r --exclude=PatchCfg "$W/v200" "$W/$1" || fail "the $1 run did not install 0000200"
}
PACKAGE=/e2e/patches/up1.exe

# A healthy run: whole files, no ranges, nothing about servers in the log.
publish "$ONE"
game healthy
m=$(mark)
updated healthy
since "$m" "$PACKAGE" | grep -q " 200 $(stat -c %s "$WWW/patches/up1.exe") \"-\" \"-\" \"-\"" \
  || fail "the package was not fetched whole, without range or encoding: $(since "$m" "$PACKAGE")"
! log_of healthy | grep -q "patch server" || fail "a healthy run logs servers"
expect 0 run "$PT" check "$(winpath "$WWW")" --url "$URL"
[ "$(ls -A "$W/healthy/PatchCfg/PatchTemp")" = Tidewell.log ] || fail "left in PatchTemp: $(ls -AR "$W/healthy/PatchCfg/PatchTemp")"

# A delta package that is not on the server: the step's whole-file package follows.
run "$PT" pack --old "$(winpath "$W/v100")" --new "$(winpath "$W/v200")" --from 0000100 --to 0000200 --delta \
  -o "$(winpath "$W/Up1d.exe")" >/dev/null
publish "$ONE" " upgradedelta=Up1d.exe" --unchecked
rm "$WWW/patches/up1d.exe"
game nodelta
updated nodelta
log_of nodelta | grep -q "delta package up1d.exe could not be fetched: the whole-file package follows" || fail "no fallback line"

# The first server of the version has no package: the second one serves it.
publish "server url=${URL}gone/ dir=patches/ version=0000200
$ONE"
game failover
updated failover
log_of failover | grep -q "Warnning: patch server ${URL}gone/patches/ left: HTTP status 404" || fail "no reason logged"
log_of failover | grep -q "Trying patch server ${URL}patches/" || fail "the second server is not named"

# An earlier run was killed half-way: its partial body and record are continued.
publish "$ONE"
game resumed
SIZE=$(stat -c %s "$WWW/patches/up1.exe")
HALF=$(( SIZE / 2 ))
ETAG=$(curl -sI "${URL}patches/up1.exe" | tr -d '\r' | sed -n 's/^ETag: //Ip')
partial() { # file, bytes: the first bytes of the package in FILE.part and their record in FILE.resume
  mkdir -p "$(dirname "$1")"
  head -c "$2" "$WWW/patches/up1.exe" > "$1.part"
  printf 'tidewell resume 1\nlength %s\netag %s\nlast-modified \n' "$SIZE" "$ETAG" > "$1.resume"
}
partial "$W/resumed/PatchCfg/PatchTemp/up1.exe" "$HALF"
m=$(mark)
updated resumed
since "$m" "$PACKAGE" | grep -q " 206 $(( SIZE - HALF )) \"bytes=$HALF-\" \"\\\\x22" \
  || fail "the rest was not asked for with a validated range: $(since "$m" "$PACKAGE")"
[ ! -e "$W/resumed/PatchCfg/PatchTemp/up1.exe.part" ] || fail "the partial stayed"

# updater download: a partial beside FILE is continued; the rate limit holds.
partial "$W/fetched.exe" 1000000
m=$(mark)
expect 0 run "$UP" download "${URL}patches/up1.exe" "$(winpath "$W/fetched.exe")" --stall-timeout 5
cmp "$W/fetched.exe" "$WWW/patches/up1.exe" || fail "the resumed download differs"
[ ! -e "$W/fetched.exe.part" ] && [ ! -e "$W/fetched.exe.resume" ] || fail "the partial stayed beside the file"
since "$m" "$PACKAGE" | grep -q " 206 $(( SIZE - 1000000 )) \"bytes=1000000-\"" || fail "updater download did not resume"
start=$(date +%s%N)
expect 0 run "$UP" download "${URL}patches/up1.exe" "$(winpath "$W/limited.exe")" --limit-rate 1024
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
cmp "$W/limited.exe" "$WWW/patches/up1.exe" || fail "the limited download differs"
# A lower bound only: at 1 MiB/s the package cannot arrive sooner.
[ "$elapsed" -ge $(( SIZE * 1000 / 1048576 * 95 / 100 )) ] || fail "$SIZE bytes at 1 MiB/s took only $elapsed ms"
expect 2 run "$UP" download "${URL}patches/up1.exe" "$(winpath "$W/x")" --limit-rate 0
echo "nginx e2e: ok"
