#!/usr/bin/env bash
# wexal-dnc with 16 machines at once, each an ncsim on a pseudo-terminal at
# 19200,8,N,1 paced at the line rate: 8 ask for a program (REQ) and read it in,
# 8 punch one out. Every transfer runs at the same time.
# Prints, per machine, the bytes, the line's own time for them, the transfer
# time (ncsim: first to last byte), how far over the line time it was,
# whether the program arrived byte-exact (the request: ncsim's decoded text
# against what F1 sends of the file; the punch: the saved file against what
# F2 saves of the tape), the XOFFs, and for a request the most bytes that
# stood in the machine's buffer (its XOFF level is 200). Then the server's CPU time (utime + stime from
# /proc/<pid>/stat, from its start until the last machine ended) as a share
# of one core over that time, and its peak memory (VmHWM).
# Usage: bench/e2e/dnc_scale.sh [SECONDS_OF_LINE_TIME]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build --target wexal-dnc ncsim >/dev/null

seconds=${1:-30}
machines=16
work=$(mktemp -d)
dnc=
sims=()
cleanup() {
  [ -n "$dnc" ] && kill "$dnc" 2>/dev/null || true
  for p in "${sims[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/home"
size=$((1920 * seconds))

# The file (LF lines), the text ncsim decodes after F1, the tape to punch and
# the file F2 saves of it (CR LF, a blank before every address after a number).
awk -v size="$size" -v dir="$work" 'BEGIN {
  file = dir "/O1000.NC"; decoded = dir "/O1000.decoded"; tape = dir "/tape.nc"; saved = dir "/O2000.saved"
  printf "%%\nO1000(BENCH)\n" > file; printf "\nO1000(BENCH)\n" > decoded
  printf "%%\nO2000(BENCH)\n" > tape; printf "O2000(BENCH)\r\n" > saved
  bytes = 16; n = 0
  while (bytes < size) {
    n++; x = n % 997; y = n % 313
    printf "N%dG01X%d.125Y-%d.5F300\n", n, x, y > file
    printf "N%dG01X%d.125Y-%d.5F300\n", n, x, y > decoded
    printf "N%dG01X%d.125Y-%d.5F300\n", n, x, y > tape
    printf "N%d G01 X%d.125 Y-%d.5 F300\r\n", n, x, y > saved
    bytes += length(sprintf("N%dG01X%d.125Y-%d.5F300", n, x, y)) + 1
  }
  printf "M30\n%%\n" > file; printf "M30\n\n%%" > decoded
  printf "M30\n%%\n" > tape; printf "M30\r\n%%\r\n" > saved
}'

printf '[Setting]\nSpeed=19200,8,N,1\nCode=N\nSignal=Y\nStartChar=N\nEndChar=Y\nMask=*.NC\nR_Code=0\n[Options]\nAdd_No=N\n' \
  >"$work/home/Wexal.INI"
: >"$work/home/Machines.ini"
echo "[Ports]" >"$work/home/Ports.ini"
for i in $(seq 1 $machines); do
  mkdir -p "$work/send$i" "$work/recv$i"
  cp "$work/O1000.NC" "$work/send$i/"
  printf '[MC%d]\nPort=COM%d\nSendDir=%s\nReceiveDir=%s\n' "$i" "$i" "$work/send$i" "$work/recv$i" \
    >>"$work/home/Machines.ini"
  echo "COM$i=$work/nc$i" >>"$work/home/Ports.ini"
  if [ $((i % 2)) -eq 1 ]; then
    build/bin/ncsim request O1000 --link "$work/nc$i" --line 19200,8,N,1 --code iso --dc1 \
      --xoff-at 200 --xon-at 50 --text "$work/got$i.nc" --report "$work/rep$i" >/dev/null 2>&1 &
  else
    build/bin/ncsim punch "$work/tape.nc" --link "$work/nc$i" --line 19200,8,N,1 --code iso \
      --report "$work/rep$i" >/dev/null 2>&1 &
  fi
  sims+=($!)
done
for i in $(seq 1 $machines); do
  for _ in $(seq 50); do [ -e "$work/nc$i" ] && break; sleep 0.1; done
done

clk=$(getconf CLK_TCK)
start=$(date +%s.%N)
WEXAL_HOME="$work/home" build/bin/wexal-dnc >"$work/dnc.out" 2>&1 &
dnc=$!
for p in "${sims[@]}"; do wait "$p" || true; done
# The last saves and log entries come a few seconds after the last byte.
for _ in $(seq 100); do
  n=$(grep -c '完了' "$work/home/Wexal.log" 2>/dev/null || true)
  [ "${n:-0}" -ge $machines ] && break
  sleep 0.1
done
end=$(date +%s.%N)
read -r -a stat <"/proc/$dnc/stat"
cpu_ticks=$((stat[13] + stat[14]))
hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$dnc/status")
kill -TERM "$dnc"
status=0
wait "$dnc" || status=$?
dnc=

value() { sed -n "s/^$2=//p" "$1"; }
printf '%-5s %-6s %8s %8s %10s %7s %6s %5s %5s\n' mc kind bytes line_s transfer_s over exact xoffs fill
worst=0
bad=0
for i in $(seq 1 $machines); do
  if [ $((i % 2)) -eq 1 ]; then
    kind=REQ; bytes=$(value "$work/rep$i" bytes_received); xoffs=$(value "$work/rep$i" xoff_sent)
    fill=$(value "$work/rep$i" max_buffer_fill)
    cmp -s "$work/got$i.nc" "$work/O1000.decoded" && exact=yes || exact=NO
  else
    kind=punch; bytes=$(value "$work/rep$i" bytes_sent); xoffs=$(value "$work/rep$i" xoff_received)
    fill=-
    cmp -s "$work/recv$i/O2000.NC" "$work/O2000.saved" && exact=yes || exact=NO
  fi
  [ "$exact" = yes ] || bad=1
  ms=$(value "$work/rep$i" duration_ms)
  over=$(awk -v b="$bytes" -v ms="$ms" 'BEGIN { line = b * 10 / 19200; printf "%.2f", (ms / 1000 / line - 1) * 100 }')
  worst=$(awk -v a="$worst" -v b="$over" 'BEGIN { print (b > a ? b : a) }')
  awk -v i="$i" -v k="$kind" -v b="$bytes" -v ms="$ms" -v o="$over" -v e="$exact" -v x="$xoffs" -v f="$fill" \
    'BEGIN { printf "MC%-3d %-6s %8d %8.2f %10.2f %6.2f%% %6s %5d %5s\n", i, k, b, b * 10 / 19200, ms / 1000, o, e, x, f }'
done
awk -v t="$cpu_ticks" -v clk="$clk" -v s="$start" -v e="$end" -v h="$hwm" -v w="$worst" -v st="$status" \
  'BEGIN { wall = e - s; cpu = t / clk
    printf "server: wall %.1f s, cpu %.2f s = %.2f%% of one core, peak RSS %.1f MB; worst transfer %.2f%% over its line time; exit %d\n",
      wall, cpu, cpu / wall * 100, h / 1024, w, st }'
[ "$bad" -eq 0 ] || { echo "a program did not arrive byte-exact" >&2; exit 1; }
