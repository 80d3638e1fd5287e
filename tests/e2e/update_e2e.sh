#!/usr/bin/env bash
# An operator publishes two steps with patchtool and pre-updates an
# installation with `updater update`; exit codes and the result are checked.
. "$(dirname "$0")/lib.sh"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
URL="http://127.0.0.1:$PORT/"
for v in 100 200 300; do
  mkdir -p "$W/v$v/Binaries" "$W/v$v/Data"
  printf "MZ %s" $v > "$W/v$v/Binaries/Game.exe"
  printf "same in every version" > "$W/v$v/Data/common.pak"
  python3 -c "import sys; sys.stdout.write('$v' * 1000)" > "$W/v$v/Data/v$v.pak"
done
printf "latest 0000300\nserver url=%s dir=Patches/ version=0000300\nstep 0000100 0000200 upgrade=Up1.exe\nstep 0000200 0000300 upgrade=Up2.exe\n" \
  "$URL" > "$W/publish.txt"
PT="$BUILD/tools/patchtool.exe"
run "$PT" pack --old "$(winpath "$W/v100")" --new "$(winpath "$W/v200")" --from 0000100 --to 0000200 -o "$(winpath "$W/Up1.exe")" >/dev/null
run "$PT" pack --old "$(winpath "$W/v200")" --new "$(winpath "$W/v300")" --from 0000200 --to 0000300 -o "$(winpath "$W/Up2.exe")" >/dev/null
run "$PT" publish "$(winpath "$W/publish.txt")" -o "$(winpath "$W/www")" >/dev/null
python3 -m http.server "$PORT" --bind 127.0.0.1 --directory "$W/www" >/dev/null 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true' EXIT
for _ in $(seq 100); do curl -s -o /dev/null "$URL" && break; sleep 0.1; done

game() { # name, update-information URL
  rm -rf "$W/$1" && cp -r "$W/v100" "$W/$1" && mkdir -p "$W/$1/PatchCfg"
  cfg 0000100 "$2" > "$W/$1/PatchCfg/NewUpdateCfg.xml"
}
UP="$BUILD/tools/updater.exe"
game one "${URL}NewUpdateInfo.zip"
expect 0 run "$UP" update --dir "$(winpath "$W/one")" --one-step
grep -q "installed 0000100 -> 0000200" "$W/out.txt"
diff -r --exclude=PatchCfg "$W/v200" "$W/one"
game all "${URL}NewUpdateInfo.zip"
expect 0 run "$UP" update --dir "$(winpath "$W/all")"
diff -r --exclude=PatchCfg "$W/v300" "$W/all"
expect 0 run "$UP" update --dir "$(winpath "$W/all")"
grep -q "up to date" "$W/out.txt"
game lost http://127.0.0.1:9/NewUpdateInfo.zip
expect 10 run "$UP" update --dir "$(winpath "$W/lost")"
expect 11 run "$UP" update --dir "$(winpath "$W/all")" --server 3
expect 2 run "$UP" update
expect 8 run "$UP" update --dir "$(winpath "$W/v100")"
echo "update e2e: ok"
