#!/usr/bin/env bash
# An operator builds a package from two trees with patchtool and installs it
# with the updater; the installed tree must equal the new one byte for byte.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$1
W="$BUILD/e2e/install"
rm -rf "$W" && mkdir -p "$W"
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
run() { "$ROOT/scripts/wine-run" "$@"; }

python3 - "$W" <<'PY'
import os, random, sys
w = sys.argv[1]
rng = random.Random(7)
def put(tree, rel, data):
    path = os.path.join(w, tree, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
for i in range(60):
    rel = "Data/Pack%d/file%02d.bin" % (i % 4, i)
    data = rng.randbytes(rng.randint(0, 200000))
    put("old", rel, data)
    if i % 5 == 0:
        data = rng.randbytes(rng.randint(1, 50000))   # changed
    if i % 7 != 3:
        put("new", rel, data)                         # else removed
for i in range(10):
    put("new", "Added/Deep/Dir%d/new%d.txt" % (i, i), b"new %d\n" % i * (i + 1))
put("old", "Binaries/Game.exe", b"MZ old game")
put("new", "Binaries/Game.exe", b"MZ new game")
cfg = ('<?xml version="1.0"?>\n<Root><Version><LastVersion>0000099</LastVersion><CurVersion>0000100</CurVersion>'
       '<ClientVer>0000100</ClientVer><DownloadedFileVersion>0000100</DownloadedFileVersion></Version>'
       '<ManualUpdateURL NormalURL=""/><InternetUpdate><UpdateInfoURL>http://127.0.0.1:9/NewUpdateInfo.zip'
       '</UpdateInfoURL></InternetUpdate></Root>\n')
put("config", "PatchCfg/NewUpdateCfg.xml", cfg.encode())
PY

run "$BUILD/tools/patchtool.exe" pack --old "$(winpath "$W/old")" --new "$(winpath "$W/new")" \
    --from 0000100 --to 0000200 -o "$(winpath "$W/pkg.exe")"

cp -r "$W/old" "$W/game" && cp -r "$W/config/PatchCfg" "$W/game/"
run "$BUILD/tools/updater.exe" install "$(winpath "$W/pkg.exe")" --dir "$(winpath "$W/game")"
diff -r --exclude=PatchCfg "$W/new" "$W/game"
grep -q "<CurVersion>0000200</CurVersion>" "$W/game/PatchCfg/NewUpdateCfg.xml"
[ ! -e "$W/game/PatchCfg/PatchBackup" ]

# A damaged package is refused with its own exit code and changes nothing.
cp -r "$W/old" "$W/game2" && cp -r "$W/config/PatchCfg" "$W/game2/"
head -c 3000 "$W/pkg.exe" > "$W/broken.exe"
set +e
run "$BUILD/tools/updater.exe" install "$(winpath "$W/broken.exe")" --dir "$(winpath "$W/game2")" 2>/dev/null
rc=$?
set -e
[ "$rc" = 3 ] || { echo "damaged package: exit code $rc, expected 3"; exit 1; }
diff -r --exclude=PatchCfg "$W/old" "$W/game2"
echo "install e2e: ok"
