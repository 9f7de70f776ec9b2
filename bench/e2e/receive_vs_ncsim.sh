#!/usr/bin/env bash
# The real Wexal (R=<file> END) receiving a long program that ncsim punches
# at the line rate. Prints the transfer time (ncsim: first to last byte)
# against the line's own time for those bytes, the CPU time (user + system)
# of Wexal and its share of the transfer time and of Wexal's own wall time
# (start to exit, the wait after the DC4 included), its peak memory, the XOFFs
# it sent, and whether the saved file holds
# exactly the expected lines with CR LF.
# When Wexal falls behind, the pseudo-terminal fills, ncsim's writes wait and
# its time grows past the line's.
# Usage: bench/e2e/receive_vs_ncsim.sh [LINES [LINE]]   (default: 100000 19200,8,N,1)
set -euo pipefail
cd "$(dirname "$0")/../.."
lines=${1:-100000}
speed=${2:-19200,8,N,1}
cmake --build build --target Wexal ncsim >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/nc" "$work/run"
chmod 700 "$work/run"

# Short blocks, so that a hundred thousand lines take minutes rather than an
# hour at 19200 baud; with Read_SP_Cut "Y" each is saved as it was punched.
awk -v n="$lines" 'BEGIN { printf "%%\nO1000(BENCH)\n"
  for (i = 1; i <= n - 3; i++) printf "X%d\n", i % 1000
  printf "M30\n%%\n" }' >"$work/punched.nc"
sed 's/$/\r/' "$work/punched.nc" >"$work/expected.nc"

printf '[Setting]\nPort=COM1\nSpeed=%s\nSignal=N\nR_Code=0\nStartChar=Y\nEndChar=Y\n[Options]\nRead_SP_Cut=Y\n' \
  "$speed" >"$work/home/Wexal.INI"
build/bin/ncsim punch "$work/punched.nc" --line "$speed" --code iso \
  --path-file "$work/path" --report "$work/report.txt" >/dev/null &
sim=$!
for _ in $(seq 50); do [ -s "$work/path" ] && break; sleep 0.1; done
QT_QPA_PLATFORM=offscreen WEXAL_HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
  WEXAL_COM1="$(cat "$work/path")" /usr/bin/time -f '%U %S %e %M' -o "$work/cpu" \
  build/bin/Wexal "R=$work/nc/IN.NC" END 2>/dev/null
wait "$sim" || true

report_value() { sed -n "s/^$1=//p" "$work/report.txt"; }
bytes=$(report_value bytes_sent)
ms=$(report_value duration_ms)
read -r user sys wall rss <"$work/cpu"
IFS=, read -r baud data parity stop <<<"$speed"
frame=$(awk -v d="$data" -v p="$parity" -v s="$stop" 'BEGIN { print 1 + d + (p == "N" ? 0 : 1) + s }')
if cmp -s "$work/expected.nc" "$work/nc/IN.NC"; then complete=yes; else complete=NO; fi
logged=$(iconv -f CP932 -t UTF-8 "$work/home/Wexal.log" | grep -c '受信　　完了　' || true)

xoffs=$(report_value xoff_received)
printf '%-12s %7s %9s %8s %10s %7s %7s %6s %7s %9s %8s %5s %8s %6s\n' \
  line lines bytes line_s transfer_s over cpu_s cpu wall_s cpu_wall rss_kb xoffs complete logged
awk -v sp="$speed" -v n="$lines" -v b="$bytes" -v ms="$ms" -v f="$frame" -v baud="$baud" \
  -v u="$user" -v s="$sys" -v w="$wall" -v rss="$rss" -v x="$xoffs" -v ok="$complete" -v lg="$logged" \
  'BEGIN { line = b * f / baud; t = ms / 1000; cpu = u + s
    printf "%-12s %7d %9d %8.2f %10.2f %6.2f%% %7.2f %5.2f%% %7.2f %8.2f%% %8d %5d %8s %6d\n",
      sp, n, b, line, t, (t / line - 1) * 100, cpu, cpu / t * 100, w, cpu / w * 100, rss, x, ok, lg }'
