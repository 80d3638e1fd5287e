#!/usr/bin/env bash
# Updates, verify and repair through the chunk store, served by nginx (the
# CTest fixture): an installation three versions behind reaches the latest in
# one step, one at a version no step names too; a damaged and a deleted file
# are found and restored; and every bad manifest, chunk or bundle is refused
# with its own log line and exit code, the installation unchanged.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$1
NGX="$BUILD/fixtures/nginx"
PORT=$(cat "$NGX/port")
WWW="$NGX/www/chunks"
URL="http://127.0.0.1:$PORT/chunks/"
W="$BUILD/e2e/chunks"
rm -rf "$W" "$WWW" && mkdir -p "$W" "$WWW"
. "$ROOT/tests/e2e/updater-lib.sh"
fail() { echo "chunks e2e [$CASE]: $*"; exit 1; }
# The host build's patchtool: descriptions hold Linux paths.
PT="$BUILD/../host/tools/patchtool"
UP="$BUILD/tools/updater.exe"
CASE=setup

# Four versions of a game: a file replaced whole by every release (a step
# chain fetches it three times), a large archive changed in scattered places,
# files added and removed.
python3 - "$W" <<'PY'
import os, random, sys
rng = random.Random(24)
def put(tree, rel, data):
    path = os.path.join(sys.argv[1], "versions", tree, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
world = bytearray(rng.randbytes(3 << 20))
for n, v in enumerate(("0000100", "0000200", "0000300", "0000400")):
    for _ in range(6 if n else 0):
        at = rng.randrange(len(world) - 4096)
        world[at:at + 4096] = rng.randbytes(4096)
    put(v, "Data/world.pak", bytes(world))
    put(v, "Data/stream.pak", rng.randbytes(1 << 20))
    put(v, "Binaries/Game.exe", b"MZ game " + v.encode() * 1000)
    put(v, "Data/only%s.txt" % v, v.encode())
PY
V="$W/versions"
$PT keygen -o "$W/key" >/dev/null
$PT release "$V" --url "$URL" -o "$WWW" --key "$W/key.key" >/dev/null

game() { # name version tree [site] [unsigned]: an installation fetching from nginx
  rm -rf "${W:?}/$1" && cp -r "$V/$3" "$W/$1"
  config "$W/$1" "$2" "${URL}${4:-}NewUpdateInfo.zip"
  [ -n "${5:-}" ] || trust "$W/$1" "$W/key.pub"
}
same() { diff -r --exclude=PatchCfg "$V/$1" "$W/$2" >/dev/null || fail "$2 is not $1: $(diff -rq --exclude=PatchCfg "$V/$1" "$W/$2")"; }

CASE=three_behind
game behind 0000100 0000100
m=$(mark)
expect 0 run "$UP" --json update --dir "$(winpath "$W/behind")"
grep -q '"event":"route","way":"chunks"' "$W/out.txt" || fail "not through chunks: $(grep route "$W/out.txt")"
[ "$(grep -c '"event":"step"' "$W/out.txt")" = 1 ] && grep -q '"from":"0000100","to":"0000400"' "$W/out.txt" ||
  fail "not one step to 0000400: $(grep step "$W/out.txt")"
same 0000400 behind
since "$m" | grep -q 'GET /chunks/store/bundles/.* 206 .*"bytes=' || fail "no Range request on a bundle"
! since "$m" | grep -q 'GET /chunks/patches/' || fail "packages were fetched too"
log_of behind | grep -q "update route: chunks: .* against .* over 3 steps" || fail "the log does not say why"
grep -q "<CurVersion>0000400</CurVersion>" "$W/behind/PatchCfg/NewUpdateCfg.xml" || fail "versions not saved"

CASE=unknown_version
game unknown 0000250 0000200
expect 0 run "$UP" update --dir "$(winpath "$W/unknown")"
grep -q "route: chunks: .*no chain of steps leads there" "$W/out.txt" || fail "no chunk route: $(cat "$W/out.txt")"
log_of unknown | grep -q "no usable manifest of the installed version 0000250" || fail "no line on the unknown version"
for f in Data/world.pak Data/stream.pak Binaries/Game.exe Data/only0000400.txt; do
  cmp -s "$V/0000400/$f" "$W/unknown/$f" || fail "$f is not 0000400's"
done

CASE=repair
spoil() { rm "$1/Data/stream.pak"; damage "$1/Data/world.pak"; }  # a deleted and a damaged file
spoil "$W/behind"
echo stray > "$W/behind/Data/stray.txt"
expect 29 run "$UP" --json verify --dir "$(winpath "$W/behind")"
for e in '"state":"missing","path":"Data\\stream.pak"' '"state":"damaged","path":"Data\\world.pak"' \
         '"state":"unexpected","path":"Data\\stray.txt"' '"missing":1,"damaged":1,"unexpected":1'; do
  grep -qF "$e" "$W/out.txt" || fail "verify does not report $e: $(cat "$W/out.txt")"
done
m=$(mark)
expect 0 run "$UP" repair --dir "$(winpath "$W/behind")"
rm "$W/behind/Data/stray.txt"
same 0000400 behind
bytes=$(since "$m" | awk '/\/chunks\/store\/bundles\// {s += $(NF-3)} END {print s + 0}')
[ "$bytes" -lt $(( (1 << 20) + 600000 )) ] || fail "the repair fetched $bytes bytes of bundles"
expect 0 run "$UP" verify --dir "$(winpath "$W/behind")" --full
expect 0 run "$UP" verify --dir "$(winpath "$W/behind")"
# The same deep in a folder tree: every path of the installation passes MAX_PATH.
DEEP="$W/$(printf 'd%.0s' {1..120})/$(printf 'e%.0s' {1..120})/deep"
mkdir -p "$(dirname "$DEEP")" && cp -r "$W/behind" "$DEEP"
spoil "$DEEP"
expect 29 run "$UP" verify --dir "$(winpath "$DEEP")" --full
expect 0 run "$UP" repair --dir "$(winpath "$DEEP")"
for f in Data/world.pak Data/stream.pak; do cmp -s "$V/0000400/$f" "$DEEP/$f" || fail "deep: $f is not 0000400's"; done
rm -rf "$W/$(printf 'd%.0s' {1..120})"

# ---- bad input: each refused with its line and code, nothing changed ---------
# An unsigned copy of the release whose manifests the cases spoil.
mutate() { # site, how: a copy of the release under its own address with the latest manifest spoiled
  rm -rf "${WWW:?}/$1" && mkdir -p "$WWW/$1"
  sed "s|$URL|$URL$1/|" "$V/../plain.txt" > "$W/plain-$1.txt"
  $PT publish "$W/plain-$1.txt" -o "$WWW/$1" --unchecked >/dev/null
  python3 - "$WWW/$1/store" "$2" <<'PY'
import glob, os, struct, sys
store, how = sys.argv[1], sys.argv[2]
path = os.path.join(store, "manifests", "0000400.manifest")
b = bytearray(open(path, "rb").read())
p = 8
def text():  # the length-prefixed text at p, stepped over
    global p
    n = struct.unpack_from("<H", b, p)[0]; p += 2 + n; return bytes(b[p - n:p])
text(); p += 8
nb = struct.unpack_from("<I", b, p)[0]; p += 4
for _ in range(nb):  # the bundles: name and size
    text(); p += 8
p += 4 + struct.unpack_from("<I", b, p)[0] * 52 + 4  # past the chunks and the file count
start, old = p, text()  # the first file's path, then its size
if how == "outside":
    b[start:start + 2 + len(old)] = struct.pack("<H", 14) + b"..\\..\\evil.txt"
elif how == "sum":  # one byte larger than its chunks
    struct.pack_into("<Q", b, p, struct.unpack_from("<Q", b, p)[0] + 1)
elif how == "count":  # a bundle count past the bound, with the bytes to hold them
    b = b[:8 + 2 + 7 + 8] + struct.pack("<I", 100001) + bytes(1000010)
elif how == "chunk":
    bundle = glob.glob(os.path.join(store, "bundles", "*.bundle"))[0]
    data = bytearray(open(bundle, "rb").read())
    data[len(data) - 100] ^= 0xFF
    open(bundle, "wb").write(data)
elif how == "short":
    for bundle in glob.glob(os.path.join(store, "bundles", "*.bundle")):
        os.truncate(bundle, os.path.getsize(bundle) // 2)
open(path, "wb").write(b)
PY
}
# The same release unsigned, as a description with its trees, for the copies.
{ echo "latest 0000400"; echo "server url=$URL dir=patches/ version=0000400"
  for v in 0000100 0000200 0000300 0000400; do echo "tree $v versions/$v"; done; } > "$W/plain.txt"
refuses() { # installation, code, log line: the update ends so, the installation still at 0000300
  expect "$2" run "$UP" update --dir "$(winpath "$W/$1")"
  log_of "$1" | grep -qi "$3" || fail "no log line '$3': $(log_of "$1" | grep -i 'error' | head -5)"
  same 0000300 "$1"
}
refused() { CASE=$1; game "bad_$1" 0000300 0000300 "$1/" unsigned; refuses "bad_$1" "$2" "$3"; }  # case, code, log line
# (Each manifest refusal has its own case in the manifest reader's test; here
# one of each exit code.)
for c in "outside|17|manifest refused: .*a path outside the installation" \
         "sum|27|manifest refused: .*chunks do not add up" \
         "count|18|manifest refused: .*more than a manifest may hold" \
         "chunk|28|Error:bad chunk: chunk .* does not hash to its id" \
         "short|28|Error:bundle served short"; do
  IFS='|' read -r name code line <<<"$c"
  mutate "$name" "$name"
  refused "$name" "$code" "$line"
done

CASE=failover
# A server with a spoiled bundle, then a good one: the bad chunk comes from the second.
mutate bad chunk
mutate good none
sed -i "s|^server .*|server url=${URL}bad/ dir=patches/ version=0000400\nserver url=${URL}good/ dir=patches/ version=0000400|" \
  "$W/plain-bad.txt"
$PT publish "$W/plain-bad.txt" -o "$W/bad-info" --unchecked >/dev/null
cp "$W/bad-info/newupdateinfo.zip" "$WWW/bad/"
game failover 0000300 0000300 bad/ unsigned
expect 0 run "$UP" update --dir "$(winpath "$W/failover")"
same 0000400 failover
log_of failover | grep -q "asked of the next server" || fail "no failover line"

CASE=replayed
# Accepted at sequence 2, then served the manifests of sequence 1 again.
mkdir -p "$W/old-sigs" && cp "$WWW"/store/manifests/*.minisig "$W/old-sigs/"
$PT refresh "$WWW" --key "$W/key.key" >/dev/null
game replay 0000300 0000300
expect 0 run "$UP" verify --dir "$(winpath "$W/replay")"
grep -q 'Sequence="2"' "$W/replay/PatchCfg/NewUpdateCfg.xml" || fail "the sequence was not kept"
cp "$W"/old-sigs/*.minisig "$WWW/store/manifests/"
refuses replay 26 "Error:stale: .*0000400.manifest: replayed"

CASE=expired
# Signed again with an expiry that has passed: the update information is refused first.
$PT refresh "$WWW" --key "$W/key.key" --expires-at 1000000000 >/dev/null
game expired 0000300 0000300
refuses expired 26 "Error:stale: .*newupdateinfo.zip: expired"
echo "chunks e2e: passed"
