#!/usr/bin/env bash
# Wexal (S=... END, waiting for the NC's DC1) against a device server that
# floods it: raw bytes without end on tcp://, and an RFC 2217 server that
# reads nothing once the port is set up and changes options without end.
# After SECONDS of it, prints Wexal's peak RSS and how long SIGTERM takes to
# end it, or when it ended by itself if it did first. "flood_MB" is what the
# server got out; the rest of its flood it could not send.
# Usage: bench/e2e/net_flood.sh [SECONDS]   (default 10)
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build --target Wexal net_flood_server >/dev/null

seconds=${1:-10}
work=$(mktemp -d)
server_pid=""
wexal_pid=""
cleanup() {
  [ -n "$wexal_pid" ] && kill -KILL "$wexal_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home" "$work/nc" "$work/run"
chmod 700 "$work/run"
printf '%%\nO1000(FLOOD)\nG01X1.F100\nM30\n%%\n' >"$work/nc/O1000.NC"
printf '[Setting]\nPort=COM1\nSpeed=9600,8,N,1\nCode=N\nSignal=Y\nStartChar=N\nEndChar=Y\n' \
  >"$work/home/Wexal.INI"

now_ms() { echo $(($(date +%s%N) / 1000000)); }
peak_kb() { sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$1/status" 2>/dev/null || true; }

printf '%-22s %9s %12s %10s %s\n' server flood_MB peak_rss_MB sigterm_s end
for kind in raw rfc2217; do
  rm -f "$work/in"
  mkfifo "$work/in"
  build/bin/net_flood_server "$kind" <"$work/in" >"$work/server.out" &
  server_pid=$!
  exec 3>"$work/in"
  for _ in $(seq 100); do [ -s "$work/server.out" ] && break; sleep 0.05; done
  url=$(head -1 "$work/server.out")

  QT_QPA_PLATFORM=offscreen WEXAL_HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
    WEXAL_COM1="$url" build/bin/Wexal "S=$work/nc/O1000.NC" END 2>/dev/null &
  wexal_pid=$!
  start=$(now_ms)
  peak=0
  end="-"
  while [ $(($(now_ms) - start)) -lt $((seconds * 1000)) ]; do
    kb=$(peak_kb "$wexal_pid")
    if [ -z "$kb" ] || ! kill -0 "$wexal_pid" 2>/dev/null; then
      end="ended by itself after $(awk -v ms=$(($(now_ms) - start)) 'BEGIN { printf "%.1f", ms / 1000 }') s"
      break
    fi
    peak=$kb
    sleep 0.1
  done
  took="-"
  if [ "$end" = "-" ]; then
    kb=$(peak_kb "$wexal_pid")
    [ -n "$kb" ] && peak=$kb
    sent=$(now_ms)
    kill -TERM "$wexal_pid"
    status=0
    wait "$wexal_pid" || status=$?
    took=$(awk -v ms=$(($(now_ms) - sent)) 'BEGIN { printf "%.2f", ms / 1000 }')
    end="SIGTERM, exit status $status"
  else
    wait "$wexal_pid" || true
  fi
  wexal_pid=""
  exec 3>&-
  wait "$server_pid" || true
  server_pid=""
  flood=$(sed -n 2p "$work/server.out")
  label=$([ "$kind" = raw ] && echo "raw flood" || echo "rfc2217 never reads")
  awk -v l="$label" -v f="${flood:-0}" -v p="$peak" -v t="$took" -v e="$end" \
    'BEGIN { printf "%-22s %9.1f %12.1f %10s %s\n", l, f / 1048576, p / 1024, t, e }'
done
