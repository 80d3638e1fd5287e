# Sourced by the whole runs of updater.exe: Windows paths, a program run
# under Wine, and a run whose exit code must be the expected one (its output
# in $W/out.txt; the script's own fail() reports otherwise).
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
run() { "$ROOT/scripts/wine-run" "$@"; }
expect() { # code, command...
  local want=$1; shift
  set +e; "$@" >"$W/out.txt" 2>&1; local rc=$?; set -e
  [ "$rc" = "$want" ] || { cat "$W/out.txt"; fail "exit code $rc, expected $want: $*"; }
}
