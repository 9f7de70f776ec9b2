#!/usr/bin/env bash
# Sets the file list's refresh against `ls -l` on the same folder of many files.
#   bench/core/file_list_vs_ls.sh [count] [runs]      (defaults: 100000 files, 5 runs)
# Needs a built tree (cmake --build build --target wexal_bench); BUILD_DIR overrides build/.
set -euo pipefail

count=${1:-100000}
runs=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
build=${BUILD_DIR:-$here/../../build}
bench=$build/bin/wexal_bench
[[ -x $bench ]] || { echo "build wexal_bench first: $bench" >&2; exit 1; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/wexal-list-XXXXXX")
trap 'rm -rf "$dir" "$dir.out"' EXIT

echo "creating $count files in $dir"
(cd "$dir" && seq -f 'O%06g.NC' 1 "$count" | xargs touch)
(cd "$dir" && seq -f 'O%06g.NC' 1 7 "$count" | xargs -n 500 sh -c 'for f; do printf "%%\nO1\nG00X0\n%%\n" >"$f"; done' sh)
ls -l "$dir" >/dev/null  # warm the caches for both

TIMEFORMAT=%R
times=()
for ((i = 0; i < runs; i++)); do
    t=$({ time ls -l "$dir" >/dev/null; } 2>&1)
    times+=("$t")
done
ls_median=$(printf '%s\n' "${times[@]}" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}')
echo "ls -l runs (s): ${times[*]}"
echo "ls -l median (s): $ls_median"

WEXAL_LIST_BENCH_FOLDER=$dir "$bench" --benchmark_filter='/(folder|10files)' \
    --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true | tee "$dir.out"
refresh_ms=$(awk '/^BM_RefreshFileList\/folder_median/ {print $2}' "$dir.out")
per_file=$(grep '^BM_RefreshFileList/folder_median' "$dir.out" | sed -n 's/.*model_bytes_per_file=\([0-9.]*\).*/\1/p')
rm -f "$dir.out"
awk -v r="$refresh_ms" -v l="$ls_median" -v m="$per_file" -v n="$count" 'BEGIN {
    printf "%d files: RefreshFileList median %.1f ms, ls -l median %.1f ms, ratio %.2f (limit 1.5)\n",
           n, r, l * 1000, r / (l * 1000)
    printf "model memory: %s bytes per file (limit 500)\n", m }'
