#!/usr/bin/env bash
# Two programs compared: the window's core (CompareLines and CountChanges),
# ncrev diff, GNU diff and diff --minimal, on two generated programs of
# 100,000 lines (1% of the lines changed, 0.25% each inserted and deleted),
# with wall time and peak memory (maximum resident set) of every run, the best
# of three. Then the stop of a comparison too long to wait for: two programs
# of 1,000,000 lines that differ on every 7th line, the stop asked after
# SECONDS, and the time CompareLines takes to return after it.
#   bench/core/compare_bench.sh [LINES [SECONDS [build-dir]]]   (defaults: 100000 1 build)
set -euo pipefail
cd "$(dirname "$0")/../.."
lines=${1:-100000}
after=${2:-1}
build=${3:-build}
case $build in /*) ;; *) build=$PWD/$build ;; esac
[ -x /usr/bin/time ] || { echo "needs GNU time (Debian: apt-get install time)" >&2; exit 2; }
cmake --build "$build" --target compare_run ncrev >/dev/null
run=$build/bin/compare_run
ncrev=$build/bin/ncrev
work=$(mktemp -d "${TMPDIR:-/tmp}/wexal-compare-XXXXXX")
trap 'rm -rf "$work"' EXIT

a=$work/A.NC
b=$work/B.NC
"$run" make "$lines" "$a" "$b"
echo "programs: $(wc -l <"$a") and $(wc -l <"$b") lines, $(stat -c %s "$a") and $(stat -c %s "$b") bytes"
"$run" core "$a" "$b"
cat "$a" "$b" >/dev/null  # every run finds them in the page cache

measure() {  # label, command...: the best time and the largest peak of three runs
    local label=$1 best="" most=0 start end secs kb status
    shift
    for _ in 1 2 3; do
        status=0
        start=$(date +%s%N)
        /usr/bin/time -f "%M" -o "$work/time" "$@" >"$work/out" || status=$?
        end=$(date +%s%N)
        [ "$status" -le 1 ] || { echo "$label: exit status $status" >&2; exit 1; }
        secs=$(awk -v n=$((end - start)) 'BEGIN { printf "%.3f", n / 1e9 }')
        kb=$(tail -n 1 "$work/time")
        if [ -z "$best" ] || awk -v s="$secs" -v b="$best" 'BEGIN { exit !(s < b) }'; then best=$secs; fi
        [ "$kb" -gt "$most" ] && most=$kb
    done
    local counted="-"
    if head -c 4 "$work/out" | grep -q -- '^--- '; then
        counted=$(tail -n +3 "$work/out" | grep -c '^[-+]' || true)
    fi
    printf '%-22s %7.3f s  %8d KB  %8s lines - and +\n' "$label" "$best" "$most" "$counted"
}

measure "core (CompareLines)" "$run" core "$a" "$b"
measure "ncrev diff" "$ncrev" diff "$a" "$b"
if command -v diff >/dev/null; then
    measure "diff -u" diff -u "$a" "$b"
    measure "diff -u --minimal" diff -u --minimal "$a" "$b"
else
    echo "diff missing (Debian: diffutils): GNU diff not measured"
fi

big_a=$work/BIG_A.NC
big_b=$work/BIG_B.NC
"$run" every7 1000000 "$big_a" "$big_b"
for _ in 1 2 3; do
    /usr/bin/time -f "peak memory %M KB" "$run" stop "$big_a" "$big_b" "$after" 2>&1 | paste -sd ' '
done
