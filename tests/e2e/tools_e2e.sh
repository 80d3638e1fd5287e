#!/usr/bin/env bash
# An operator packs two steps and publishes them with patchtool (signed by
# patchtool or by minisign too), installs a package by hand and pre-updates
# installations with the updater; exit codes and the resulting trees are checked.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$1
W="$BUILD/e2e/tools"
rm -rf "$W" && mkdir -p "$W"
. "$ROOT/tests/e2e/updater-lib.sh"
fail() { echo "tools e2e: $*"; exit 1; }
PORT=$(free_port)
URL="http://127.0.0.1:$PORT/"
python3 - "$W" <<'PY'
import os, random, sys
rng = random.Random(7)
def put(tree, rel, data):
    path = os.path.join(sys.argv[1], tree, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
for i in range(60):  # files changed, kept and removed from version to version
    rel, data = "Data/Pack%d/file%02d.bin" % (i % 4, i), rng.randbytes(rng.randint(0, 100000))
    for v in ("100", "200", "300"):
        if i % 5 == 0 or v == "100":
            data = rng.randbytes(rng.randint(1, 50000))
        if i % 7 != 3 or v == "100":
            put("v" + v, rel, data)
for v in ("100", "200", "300"):
    put("v" + v, "Binaries/Game.exe", b"MZ " + v.encode())
    put("v" + v, "Added/Deep/v%s.txt" % v, v.encode() * 1000)
PY
printf "latest 0000300\nserver url=%s dir=Patches/ version=0000300\nstep 0000100 0000200 upgrade=Up1.exe\nstep 0000200 0000300 upgrade=Up2.exe\n" \
  "$URL" > "$W/publish.txt"
PT="$BUILD/tools/patchtool.exe"
run "$PT" pack --old "$(winpath "$W/v100")" --new "$(winpath "$W/v200")" --from 0000100 --to 0000200 -o "$(winpath "$W/Up1.exe")" >/dev/null
run "$PT" pack --old "$(winpath "$W/v200")" --new "$(winpath "$W/v300")" --from 0000200 --to 0000300 -o "$(winpath "$W/Up2.exe")" >/dev/null
run "$PT" publish "$(winpath "$W/publish.txt")" -o "$(winpath "$W/www")" >/dev/null
site() { # name, [publish options]: the release published again below URL/name/
  sed "s|url=$URL|url=$URL$1/|" "$W/publish.txt" > "$W/$1.txt"
  run "$PT" publish "$(winpath "$W/$1.txt")" -o "$(winpath "$W/www/$1")" "${@:2}" >/dev/null
}
# Hostile servers beside the good one: a package that is not the table's, a
# revision table naming a path, update information nested 15,000 deep.
for s in digest name deep; do site $s; done
damage "$W/www/digest/patches/up1.exe"
rezip "$W/www/name/newupdateinfo.zip" Revision.xml 's|filename="up1.exe"|filename="..\\..\\evil.exe"|g'
rezip "$W/www/deep/newupdateinfo.zip" NewUpdateInfo.xml "s|</Root>|$(printf '<a>%.0s' {1..15000})</Root>|"
head -c 3000 "$W/Up1.exe" > "$W/broken.exe"
python3 -m http.server "$PORT" --bind 127.0.0.1 --directory "$W/www" >/dev/null 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true' EXIT
for _ in $(seq 100); do curl -s -o /dev/null "$URL" && break; sleep 0.1; done

game() { rm -rf "$W/$1" && cp -r "$W/v100" "$W/$1" && config "$W/$1" 0000100 "$2"; }  # name, update-information URL
same() { diff -r --exclude=PatchCfg "$W/$1" "$W/$2"; }  # tree, installation
UP="$BUILD/tools/updater.exe"
game hand "${URL}NewUpdateInfo.zip"
expect 3 run "$UP" install "$(winpath "$W/broken.exe")" --dir "$(winpath "$W/hand")"
same v100 "hand"
# A package under a name in another script; the output is UTF-8 lines, progress included.
cp "$W/Up1.exe" "$W/更新包 Ü1.exe"
expect 0 run "$UP" install "$(winpath "$W/更新包 Ü1.exe")" --dir "$(winpath "$W/hand")"
same v200 "hand"
grep -q "^installed .*更新包 Ü1.exe: client version 0000200" "$W/out.txt" || { cat "$W/out.txt"; exit 1; }
grep -q "^installing 100.0 %" "$W/out.txt" || { cat "$W/out.txt"; exit 1; }
grep -q "<CurVersion>0000200</CurVersion>" "$W/hand/PatchCfg/NewUpdateCfg.xml"
[ ! -e "$W/hand/PatchCfg/PatchBackup" ]
expect 0 run "$UP" update --dir "$(winpath "$W/hand")" --one-step
grep -q "installed 0000200 -> 0000300" "$W/out.txt"
same v300 "hand"
game all "${URL}NewUpdateInfo.zip"
expect 0 run "$UP" update --dir "$(winpath "$W/all")" --json
same v300 "all"
# --json: one object a line, the steps and the result among them.
python3 - "$W/out.txt" <<'PY3'
import json, sys
events = [json.loads(line) for line in open(sys.argv[1], encoding="utf-8") if line.strip()]
steps = [(e["from"], e["to"]) for e in events if e["event"] == "step"]
assert steps == [("0000100", "0000200"), ("0000200", "0000300")], steps
assert any(e["event"] == "progress" for e in events)
assert events[-1] == {"event": "result", "exit": 0, "message": "", "cause": ""}, events[-1]
PY3
# The server of this test answers no Range request: check says so.
expect 6 run "$PT" check "$(winpath "$W/www")" --url "$URL"
grep -q "does not answer Range requests" "$W/out.txt"
expect 0 run "$PT" check "$(winpath "$W/www")"
for tool in "$PT" "$UP"; do
  expect 0 run "$tool" --version
  grep -q "1.1.0" "$W/out.txt"
  # Every exit code of --help is in the reference, in the same words.
  expect 0 run "$tool" --help
  sed -n '/^exit codes:/,$p' "$W/out.txt" | tail -n +2 | tr -d '\r' | while IFS= read -r line; do
    [ -z "$line" ] || grep -qxF -- "$line" "$ROOT/docs/reference.md" || { echo "not in docs/reference.md: $line"; exit 1; }
  done
done
expect 0 run "$UP" update --dir "$(winpath "$W/all")"
grep -q "up to date" "$W/out.txt"
game lost http://127.0.0.1:9/NewUpdateInfo.zip
expect 10 run "$UP" update --dir "$(winpath "$W/lost")"
expect 11 run "$UP" update --dir "$(winpath "$W/all")" --server 3
for case in "14 digest" "17 name" "18 deep"; do
  set -- $case
  game "$2" "${URL}$2/NewUpdateInfo.zip"
  expect "$1" run "$UP" update --dir "$(winpath "$W/$2")"
  same v100 "$2"
  # One message, the exit code's own.
  [ "$(grep -c '^updater: ' "$W/out.txt")" = 1 ] || { cat "$W/out.txt"; exit 1; }
  [ "$1" != 17 ] || grep -q "refused (path fence)" "$W/out.txt"
done
[ ! -e "$W/evil.exe" ] && [ ! -e "$W/name/evil.exe" ]
[ ! -e "$W/deep/PatchCfg/NewUpdateInfo.xml" ]
# Signed by minisign (patchtool's own signing: SignToolTest and e2e_chunks);
# an installation that trusts a key refuses the unsigned server.
minisign -G -W -p "$W/theirs.pub" -s "$W/theirs.key" >/dev/null
site minisigned
for f in newupdateinfo.zip patches/up1.exe patches/up2.exe; do minisign -S -s "$W/theirs.key" -m "$W/www/minisigned/$f" >/dev/null; done
game minisigned-game "${URL}minisigned/NewUpdateInfo.zip" && trust "$W/minisigned-game" "$W/theirs.pub"
expect 0 run "$UP" update --dir "$(winpath "$W/minisigned-game")"
same v300 minisigned-game
grep -q 'InfoTimestamp="[0-9]' "$W/minisigned-game/PatchCfg/NewUpdateCfg.xml"
game unsigned "${URL}NewUpdateInfo.zip" && trust "$W/unsigned" "$W/theirs.pub"
expect 23 run "$UP" update --dir "$(winpath "$W/unsigned")"
grep -q "signature" "$W/out.txt"
same v100 "unsigned"
game repair "${URL}NewUpdateInfo.zip"
mkdir -p "$W/repair/PatchCfg/PatchBackup/Data"
printf 'garbage\r\n' > "$W/repair/PatchCfg/PatchBackup/journal.txt"
printf 'old' > "$W/repair/PatchCfg/PatchBackup/Data/kept.bin"
expect 9 run "$UP" update --dir "$(winpath "$W/repair")"
grep -q "needs repair" "$W/out.txt"
[ "$(cat "$W/repair/PatchCfg/PatchBackup/Data/kept.bin")" = old ]
expect 2 run "$UP" update
expect 8 run "$UP" update --dir "$(winpath "$W/v100")"
[ "$(wc -l < "$W/out.txt")" = 1 ] && grep -q "^updater: the installation's configuration" "$W/out.txt"
echo "tools e2e: ok"
