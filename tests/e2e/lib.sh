# Sourced by the whole-run tests: BUILD (argument 1), a fresh work folder W
# named after the test, Wine paths and a runner, and an exit-code check.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$1
W="$BUILD/e2e/$(basename "$0" _e2e.sh)"
rm -rf "$W" && mkdir -p "$W"
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
run() { "$ROOT/scripts/wine-run" "$@"; }
expect() { # code, command...
  local want=$1; shift
  set +e; "$@" >"$W/out.txt" 2>&1; local rc=$?; set -e
  [ "$rc" = "$want" ] || { cat "$W/out.txt"; echo "exit code $rc, expected $want: $*"; exit 1; }
}
cfg() { # CurVersion, update-information URL
  echo "<?xml version=\"1.0\"?>
<Root><Version><LastVersion>0000099</LastVersion><CurVersion>$1</CurVersion><ClientVer>$1</ClientVer><DownloadedFileVersion>0</DownloadedFileVersion></Version><ManualUpdateURL NormalURL=\"\"/><InternetUpdate><UpdateInfoURL>$2</UpdateInfoURL></InternetUpdate></Root>"
}
