#!/usr/bin/env bash
# An operator publishes two steps with patchtool and pre-updates an
# installation with `updater update`; exit codes and the result are checked.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$1
W="$BUILD/e2e/update"
rm -rf "$W" && mkdir -p "$W"
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
run() { "$ROOT/scripts/wine-run" "$@"; }
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
URL="http://127.0.0.1:$PORT/"

python3 - "$W" "$URL" <<'PY'
import os, sys
w, url = sys.argv[1], sys.argv[2]
def put(rel, data):
    os.makedirs(os.path.dirname(os.path.join(w, rel)), exist_ok=True)
    open(os.path.join(w, rel), "wb").write(data)
for v in ("100", "200", "300"):
    put("v%s/Binaries/Game.exe" % v, b"MZ " + v.encode())
    put("v%s/Data/common.pak" % v, b"same in every version")
    put("v%s/Data/v%s.pak" % (v, v), v.encode() * 1000)
def cfg(urls):
    return ('<?xml version="1.0"?>\n<Root><Version><LastVersion>0000099</LastVersion><CurVersion>0000100</CurVersion>'
            '<ClientVer>0000100</ClientVer><DownloadedFileVersion>0</DownloadedFileVersion></Version>'
            '<ManualUpdateURL NormalURL=""/><InternetUpdate>%s</InternetUpdate></Root>\n'
            % "".join("<UpdateInfoURL>%s</UpdateInfoURL>" % u for u in urls)).encode()
put("cfg/good.xml", cfg([url + "NewUpdateInfo.zip"]))
put("cfg/unreachable.xml", cfg(["http://127.0.0.1:9/NewUpdateInfo.zip"]))
open(os.path.join(w, "publish.txt"), "w").write(
    "latest 0000300\nserver url=%s dir=Patches/ version=0000300\n"
    "step 0000100 0000200 upgrade=Up1.exe\nstep 0000200 0000300 upgrade=Up2.exe\n" % url)
PY
PT="$BUILD/tools/patchtool.exe"
run "$PT" pack --old "$(winpath "$W/v100")" --new "$(winpath "$W/v200")" --from 0000100 --to 0000200 -o "$(winpath "$W/Up1.exe")" >/dev/null
run "$PT" pack --old "$(winpath "$W/v200")" --new "$(winpath "$W/v300")" --from 0000200 --to 0000300 -o "$(winpath "$W/Up2.exe")" >/dev/null
run "$PT" publish "$(winpath "$W/publish.txt")" -o "$(winpath "$W/www")" >/dev/null
python3 -m http.server "$PORT" --bind 127.0.0.1 --directory "$W/www" >/dev/null 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true' EXIT
for _ in $(seq 100); do curl -s -o /dev/null "$URL" && break; sleep 0.1; done

game() { rm -rf "$W/$1" && cp -r "$W/v100" "$W/$1" && mkdir -p "$W/$1/PatchCfg" && cp "$W/cfg/$2.xml" "$W/$1/PatchCfg/NewUpdateCfg.xml"; }
expect() { # code, command...
  local want=$1; shift
  set +e; "$@" >"$W/out.txt" 2>&1; local rc=$?; set -e
  [ "$rc" = "$want" ] || { cat "$W/out.txt"; echo "exit code $rc, expected $want: $*"; exit 1; }
}
UP="$BUILD/tools/updater.exe"

game one good
expect 0 run "$UP" update --dir "$(winpath "$W/one")" --one-step
grep -q "installed 0000100 -> 0000200" "$W/out.txt"
diff -r --exclude=PatchCfg "$W/v200" "$W/one"

game all good
expect 0 run "$UP" update --dir "$(winpath "$W/all")"
diff -r --exclude=PatchCfg "$W/v300" "$W/all"
expect 0 run "$UP" update --dir "$(winpath "$W/all")"
grep -q "up to date" "$W/out.txt"

game lost unreachable
expect 10 run "$UP" update --dir "$(winpath "$W/lost")"
expect 11 run "$UP" update --dir "$(winpath "$W/all")" --server 3
expect 2 run "$UP" update
expect 8 run "$UP" update --dir "$(winpath "$W/v100")"
echo "update e2e: ok"
