#!/usr/bin/env bash
# An operator builds a package from two trees with patchtool and installs it
# with the updater; the installed tree must equal the new one byte for byte.
. "$(dirname "$0")/lib.sh"
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
PY
run "$BUILD/tools/patchtool.exe" pack --old "$(winpath "$W/old")" --new "$(winpath "$W/new")" \
    --from 0000100 --to 0000200 -o "$(winpath "$W/pkg.exe")"
head -c 3000 "$W/pkg.exe" > "$W/broken.exe"
for game in game game2; do
  cp -r "$W/old" "$W/$game" && mkdir "$W/$game/PatchCfg"
  cfg 0000100 http://127.0.0.1:9/NewUpdateInfo.zip > "$W/$game/PatchCfg/NewUpdateCfg.xml"
done
expect 0 run "$BUILD/tools/updater.exe" install "$(winpath "$W/pkg.exe")" --dir "$(winpath "$W/game")"
diff -r --exclude=PatchCfg "$W/new" "$W/game"
grep -q "<CurVersion>0000200</CurVersion>" "$W/game/PatchCfg/NewUpdateCfg.xml"
[ ! -e "$W/game/PatchCfg/PatchBackup" ]
# A damaged package is refused with its own exit code and changes nothing.
expect 3 run "$BUILD/tools/updater.exe" install "$(winpath "$W/broken.exe")" --dir "$(winpath "$W/game2")"
diff -r --exclude=PatchCfg "$W/old" "$W/game2"
echo "install e2e: ok"
