#!/usr/bin/env bash
# Sends a program from the real Wexal (S=... END) to ncsim reading at 19200
# baud with XOFF at 200 and XON at 50 bytes in its buffer, over each route a
# shop may use: a local pseudo-terminal (for comparison), ser2net in front of
# the pseudo-terminal with RFC 2217 and raw, and ncsim serving TCP itself with
# RFC 2217 and raw. Prints the transfer time against the line's own time for
# the bytes that went out, the most bytes that came after one XOFF, the
# XOFFs sent, and Wexal's CPU time.
# Usage: bench/e2e/send_over_network.sh [SECONDS [LINE]]   (default 20 s of 19200,8,N,1)
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build --target Wexal ncsim >/dev/null
command -v ser2net >/dev/null || { echo "ser2net is not installed (scripts/deps.sh installs it)" >&2; exit 1; }

seconds=${1:-20}
speed=${2:-19200,8,N,1}
work=$(mktemp -d)
cleanup() {
  if [ -s "$work/ser2net.pid" ]; then kill "$(cat "$work/ser2net.pid")" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home" "$work/nc" "$work/run"
chmod 700 "$work/run"

IFS=, read -r baud data parity stop <<<"$speed"
frame=$(awk -v d="$data" -v p="$parity" -v s="$stop" 'BEGIN { print 1 + d + (p == "N" ? 0 : 1) + s }')
size=$(awk -v b="$baud" -v f="$frame" -v t="$seconds" 'BEGIN { printf "%d", b / f * t }')
awk -v size="$size" 'BEGIN {
  printf "%%\r\nO1000(BENCH)\r\n"; n = 0; bytes = 16
  while (bytes < size) { n++; line = sprintf("N%dG01X%d.125Y-%d.5F300", n, n % 997, n % 313)
    printf "%s\r\n", line; bytes += length(line) + 2 }
  printf "M30\r\n%%\r\n" }' >"$work/nc/O1000.NC"
printf '[Setting]\nPort=COM1\nSpeed=%s\nCode=N\nSignal=Y\nStartChar=N\nEndChar=Y\n' "$speed" \
  >"$work/home/Wexal.INI"
ser_params=$(printf '%s%s%s%s' "$baud" "$(tr 'NEO' 'neo' <<<"$parity")" "$data" "$stop")

wait_file() { for _ in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.05; done; return 1; }
report_value() { sed -n "s/^$2=//p" "$1"; }

# Starts ser2net on a free loopback port in front of the terminal $2 and prints its URL.
start_ser2net() {
  local kind=$1 tty=$2 accepter=tcp scheme=tcp port=""
  [ "$kind" = rfc2217 ] && accepter='telnet(rfc2217),tcp' && scheme=rfc2217
  printf 'connection: &machine\n  accepter: %s,127.0.0.1,0\n  connector: serialdev,%s,%s,local\n' \
    "$accepter" "$tty" "$ser_params" >"$work/ser2net.yaml"
  # Not on this function's output: the caller would wait for ser2net to end.
  ser2net -n -c "$work/ser2net.yaml" -P "$work/ser2net.pid" >/dev/null 2>&1 &
  local pid=$!
  for _ in $(seq 100); do
    port=$(ss -Hltnp 2>/dev/null | sed -n "s/.*127\.0\.0\.1:\([0-9]*\) .*pid=$pid,.*/\1/p" | head -1)
    [ -n "$port" ] && break
    sleep 0.05
  done
  echo "$scheme://127.0.0.1:$port"
}

printf '%-16s %8s %8s %10s %8s %10s %6s %7s\n' route bytes line_s transfer_s over after_xoff xoffs cpu_s
for route in pty ser2net-rfc2217 ser2net-raw ncsim-rfc2217 ncsim-raw; do
  rm -f "$work/report.txt" "$work/path"
  serve=()
  case $route in
    ncsim-rfc2217) serve=(--serve rfc2217://127.0.0.1:0) ;;
    ncsim-raw) serve=(--serve tcp://127.0.0.1:0) ;;
  esac
  build/bin/ncsim receive "${serve[@]}" --line "$speed" --code iso --dc1 --xoff-at 200 --xon-at 50 \
    --path-file "$work/path" --report "$work/report.txt" >/dev/null &
  sim=$!
  wait_file "$work/path"
  port=$(cat "$work/path")
  case $route in
    ser2net-rfc2217) port=$(start_ser2net rfc2217 "$port") ;;
    ser2net-raw) port=$(start_ser2net raw "$port") ;;
  esac
  QT_QPA_PLATFORM=offscreen WEXAL_HOME="$work/home" XDG_RUNTIME_DIR="$work/run" WEXAL_COM1="$port" \
    /usr/bin/time -f '%U %S' -o "$work/cpu" build/bin/Wexal "S=$work/nc/O1000.NC" END 2>/dev/null
  wait "$sim" || true
  if [ -s "$work/ser2net.pid" ]; then kill "$(cat "$work/ser2net.pid")" 2>/dev/null || true; rm -f "$work/ser2net.pid"; fi
  read -r user sys <"$work/cpu"
  awk -v r="$route" -v b="$(report_value "$work/report.txt" bytes_received)" \
    -v ms="$(report_value "$work/report.txt" duration_ms)" -v f="$frame" -v baud="$baud" \
    -v after="$(report_value "$work/report.txt" bytes_after_xoff)" \
    -v xoffs="$(report_value "$work/report.txt" xoff_sent)" -v cpu="$(awk -v u="$user" -v s="$sys" 'BEGIN { print u + s }')" \
    'BEGIN { line = b * f / baud; t = ms / 1000
      printf "%-16s %8d %8.2f %10.2f %7.2f%% %10d %6d %7.2f\n", r, b, line, t, (t / line - 1) * 100, after, xoffs, cpu }'
done
