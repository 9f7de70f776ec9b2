#!/usr/bin/env bash
# A program of 1 GB (real lines, no holes) in the view and on the line:
# - the file view (V): time from the key to its first page, to the whole file
#   indexed, a jump to the end, and the peak memory (VmHWM) of the window;
# - the transfer view of a send (F1), the machine not yet ready: the same;
# - the send itself from the real Wexal (S=<file> END) to ncsim reading as
#   fast as it can (--line none): time from the start to the machine's first
#   byte, bytes sent in SECONDS, and Wexal's peak memory, read from /proc just
#   before it is stopped with SIGTERM (which ends the send on its abort path).
# The file is made in a folder of its own under TMPDIR (default /tmp) and
# deleted at the end.
# Usage: bench/e2e/big_program.sh [MEGABYTES [SECONDS]]   (default 1024 and 20)
set -euo pipefail
cd "$(dirname "$0")/../.."
megabytes=${1:-1024}
seconds=${2:-20}
cmake --build build --target Wexal ncsim big_view >/dev/null

work=$(mktemp -d)
sim=""
wexal=""
cleanup() {
  [ -n "$wexal" ] && kill "$wexal" 2>/dev/null || true
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/nc" "$work/home" "$work/run"
chmod 700 "$work/run"
file="$work/nc/BIG.NC"

now() { date +%s.%N; }
# a - b, or a < b (1 or 0), in seconds.
minus() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a - b }'; }
before_time() { awk -v a="$1" -v b="$2" 'BEGIN { print (a < b) ? 1 : 0 }'; }

build/bin/big_view --make "$megabytes" "$file"
printf 'program: %s bytes, %s lines\n' "$(stat -c %s "$file")" "$(wc -l <"$file")"

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run"

echo "-- file view (V)"
build/bin/big_view "$file" view

# A machine that never says it is ready: the send waits in its transfer view.
start_machine() {
  rm -f "$work/path"
  build/bin/ncsim receive --line none --code iso "$@" --path-file "$work/path" \
    --report "$work/report.txt" --idle-timeout 600 >/dev/null &
  sim=$!
  for _ in $(seq 100); do [ -s "$work/path" ] && break; sleep 0.05; done
}

echo "-- transfer view (F1)"
start_machine
WEXAL_COM1="$(cat "$work/path")" build/bin/big_view "$file" send
kill "$sim" 2>/dev/null || true
wait "$sim" 2>/dev/null || true
sim=""

echo "-- send (S=<file> END) for ${seconds} s"
start_machine --dc1
read_chars() { sed -n 's/^rchar: //p' "/proc/$sim/io"; }
before=$(read_chars)
printf '[Setting]\nPort=COM1\nSpeed=19200,8,N,1\nCode=N\nSignal=Y\nStartChar=N\nEndChar=Y\n' \
  >"$work/home/Wexal.INI"
t0=$(now)
WEXAL_HOME="$work/home" WEXAL_COM1="$(cat "$work/path")" \
  build/bin/Wexal "S=$file" END 2>"$work/stderr" &
wexal=$!
first=""
peak=0
end=$(awk -v a="$t0" -v b="$seconds" 'BEGIN { printf "%.3f", a + b }')
while [ "$(before_time "$(now)" "$end")" = 1 ] && kill -0 "$wexal" 2>/dev/null; do
  if [ -z "$first" ] && [ "$(read_chars)" != "$before" ]; then
    first=$(minus "$(now)" "$t0")
  fi
  hwm=$(awk '/^VmHWM:/ { print $2 }' "/proc/$wexal/status" 2>/dev/null || echo 0)
  [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
  sleep 0.05
done
kill -TERM "$wexal" 2>/dev/null || true
wait "$wexal" 2>/dev/null || true
wexal=""
wait "$sim" 2>/dev/null || true
sim=""
printf 'send_first_byte_s=%s\nsend_bytes_in_%ss=%s\nsend_peak_rss_kb=%s\n' "${first:-none}" \
  "$seconds" "$(sed -n 's/^bytes_received=//p' "$work/report.txt")" "$peak"
