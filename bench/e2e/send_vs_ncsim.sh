#!/usr/bin/env bash
# Sends a program of one minute's line time from the real Wexal (S=... END)
# to ncsim reading at the line rate, at 4800 8N2, 9600 8N2 and 19200 8N1.
# Prints the transfer time (ncsim: first to last byte) against the line's own
# time for the bytes that went out, the CPU time (user + system) Wexal used and
# its share of the transfer time and of Wexal's own wall time (start to exit,
# the drain wait after the last byte included), and the most bytes ncsim read
# after one of its XOFFs.
# ncsim's time grows past the line's when Wexal leaves the line idle: it
# counts from the first byte to the last one taken in at the line rate.
# Usage: bench/e2e/send_vs_ncsim.sh [LINE...]   (default: the three lines above)
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build --target Wexal ncsim >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/nc" "$work/run"
chmod 700 "$work/run"

# An NC program of about $1 bytes, CR LF line ends.
program() {
  awk -v size="$1" 'BEGIN {
    printf "%%\r\nO1000(BENCH)\r\n"; n = 0; bytes = 16
    while (bytes < size) { n++; line = sprintf("N%dG01X%d.125Y-%d.5F300", n, n % 997, n % 313)
      printf "%s\r\n", line; bytes += length(line) + 2 }
    printf "M30\r\n%%\r\n" }'
}

report_value() { sed -n "s/^$2=//p" "$1"; }

printf '%-12s %9s %10s %10s %8s %9s %6s %7s %9s %5s %10s\n' \
  line bytes line_s transfer_s over cpu_s cpu wall_s cpu_wall xoffs after_xoff
speeds=("$@")
[ ${#speeds[@]} -gt 0 ] || speeds=(4800,8,N,2 9600,8,N,2 19200,8,N,1)
for speed in "${speeds[@]}"; do
  IFS=, read -r baud data parity stop <<<"$speed"
  frame=$(awk -v d="$data" -v p="$parity" -v s="$stop" 'BEGIN { print 1 + d + (p == "N" ? 0 : 1) + s }')
  size=$(awk -v b="$baud" -v f="$frame" 'BEGIN { printf "%d", b / f * 60 }')
  program "$size" >"$work/nc/O1000.NC"
  printf '[Setting]\nPort=COM1\nSpeed=%s\nCode=N\nSignal=Y\nStartChar=N\nEndChar=Y\n' "$speed" \
    >"$work/home/Wexal.INI"
  rm -f "$work/report.txt" "$work/path"
  build/bin/ncsim receive --line "$speed" --code iso --dc1 --xoff-at 200 --xon-at 50 \
    --path-file "$work/path" --report "$work/report.txt" >/dev/null &
  sim=$!
  for _ in $(seq 50); do [ -s "$work/path" ] && break; sleep 0.1; done
  QT_QPA_PLATFORM=offscreen WEXAL_HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
    WEXAL_COM1="$(cat "$work/path")" /usr/bin/time -f '%U %S %e' -o "$work/cpu" \
    build/bin/Wexal "S=$work/nc/O1000.NC" END 2>/dev/null
  wait "$sim" || true
  bytes=$(report_value "$work/report.txt" bytes_received)
  ms=$(report_value "$work/report.txt" duration_ms)
  xoffs=$(report_value "$work/report.txt" xoff_sent)
  after=$(report_value "$work/report.txt" bytes_after_xoff)
  read -r user sys wall <"$work/cpu"
  awk -v sp="$speed" -v b="$bytes" -v ms="$ms" -v f="$frame" -v baud="$baud" -v u="$user" -v s="$sys" \
    -v w="$wall" -v x="$xoffs" -v a="$after" \
    'BEGIN { line = b * f / baud; t = ms / 1000; cpu = u + s
      printf "%-12s %9d %10.2f %10.2f %7.2f%% %9.2f %5.2f%% %7.2f %8.2f%% %5d %10d\n",
        sp, b, line, t, (t / line - 1) * 100, cpu, cpu / t * 100, w, cpu / w * 100, x, a }'
done
