# Sourced by the whole runs of updater.exe and the launcher: Windows paths, a
# program run under Wine, a run whose exit code must be the expected one (its
# output in $W/out.txt; the script's own fail() reports otherwise), and the
# pieces of installations and servers the runs spoil or set up.
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
run() { "$ROOT/scripts/wine-run" "$@"; }
expect() { # code, command...
  local want=$1; shift
  set +e; "$@" >"$W/out.txt" 2>&1; local rc=$?; set -e
  [ "$rc" = "$want" ] || { cat "$W/out.txt"; fail "exit code $rc, expected $want: $*"; }
}
poll() { # seconds, failure, command...: waits until the command succeeds
  local n=$(( $1 * 10 )) why=$2; shift 2
  until "$@"; do [ $(( n-- )) -gt 0 ] || fail "$why"; sleep 0.1; done
}
gone() { ! kill -0 "$1" 2>/dev/null; }  # process
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }
config() { # installation folder, version, update-information URL, [more elements]
  mkdir -p "$1/PatchCfg"
  echo "<?xml version=\"1.0\"?><Root><Version><LastVersion>0000099</LastVersion><CurVersion>$2</CurVersion><ClientVer>$2</ClientVer><DownloadedFileVersion>0</DownloadedFileVersion></Version><ManualUpdateURL NormalURL=\"\"/><InternetUpdate><UpdateInfoURL>$3</UpdateInfoURL></InternetUpdate>${4:-}</Root>" \
    > "$1/PatchCfg/NewUpdateCfg.xml"
}
trust() { # installation folder, public key file: it verifies what it fetches
  sed -i "s|</Root>|<TrustedKeys><Key>$(sed -n 2p "$2")</Key></TrustedKeys></Root>|" "$1/PatchCfg/NewUpdateCfg.xml"
}
damage() { # file: bytes in its middle overwritten, its digest no longer the published one
  printf 'damaged by a disk error' | dd of="$1" bs=1 seek=$(( $(stat -c %s "$1") / 2 )) conv=notrunc 2>/dev/null
}
rezip() { # archive, entry, sed script: the entry edited in place
  local a t; a=$(realpath "$1"); t=$(mktemp -d)
  python3 -m zipfile -e "$a" "$t"; sed -i "$3" "$t/$2"; rm "$a"
  (cd "$t" && python3 -m zipfile -c "$a" *); rm -rf "$t"
}
log_of() { # installation name: its open log and the failed runs' .err logs
  local f; for f in "$W/$1"/PatchCfg/PatchTemp/*.err "$W/$1"/PatchCfg/PatchTemp/Tidewell.log; do
    [ -f "$f" ] && iconv -f UTF-16 -t UTF-8 "$f"; done; true; }
# The shared nginx's access log: its length now, and its lines since then holding a text.
mark() { wc -l < "$NGX/access.log"; }
since() { tail -n +"$(( $1 + 1 ))" "$NGX/access.log" | grep -F -- "${2:-}" || true; }
