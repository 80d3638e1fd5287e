#!/usr/bin/env bash
# nginx for the tests and the demo, on a free loopback port.
#   nginx-serve.sh start PREFIX ROOT   serve ROOT; writes PREFIX/port
#   nginx-serve.sh stop PREFIX         stop the nginx started there
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
NGINX=$(command -v nginx || echo /usr/sbin/nginx)
cmd=${1:-}; prefix=${2:-}
[ -n "$cmd" ] && [ -n "$prefix" ] || { sed -n '2,4p' "$0"; exit 2; }
mkdir -p "$prefix"
prefix=$(cd "$prefix" && pwd)

stop() {
  if [ -f "$prefix/nginx.pid" ]; then
    local pid; pid=$(cat "$prefix/nginx.pid")
    kill -QUIT "$pid" 2>/dev/null || true
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    rm -f "$prefix/nginx.pid"
  fi
  rm -f "$prefix/port"
}

case $cmd in
stop) stop ;;
start)
  mkdir -p "${3:?ROOT}"
  root=$(cd "$3" && pwd)
  stop
  mkdir -p "$prefix/tmp"
  # A port taken between choosing and binding is chosen again.
  for _ in 1 2 3 4 5; do
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    sed -e "s|@PREFIX@|$prefix|g" -e "s|@PORT@|$port|g" -e "s|@ROOT@|$root|g" "$HERE/nginx.conf.in" > "$prefix/nginx.conf"
    : > "$prefix/access.log"
    if "$NGINX" -p "$prefix" -c "$prefix/nginx.conf" -e "$prefix/error.log" 2>>"$prefix/error.log"; then
      for _ in $(seq 100); do [ -s "$prefix/nginx.pid" ] && break; sleep 0.05; done
      echo "$port" > "$prefix/port"
      exit 0
    fi
  done
  cat "$prefix/error.log" >&2
  exit 1 ;;
*) sed -n '2,4p' "$0"; exit 2 ;;
esac
