#!/usr/bin/env bash
# Times the whole check as CI runs it: a clean clone of this repository's HEAD,
# then `bash .ci/run` (test.sh, then the plain Release build), with the
# packages already installed. Then prints the compile time summed from the
# ninja logs, and the rebuild after touching one core source file.
#
# Usage: bench/build/ci_time.sh [--cache DIR] [--rev REV] [--keep]
#   --cache DIR  ccache folder to use (made if missing): run twice with the
#                same DIR for a cold and a warm cache. Default: a new empty one.
#   --rev REV    the commit to check out after the clone (default: HEAD), to
#                time an older main or a variant on a branch.
#   --keep       keep the clone (its path is printed).
set -euo pipefail
source=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
cache="" rev=HEAD keep=0
while [ $# -gt 0 ]; do
  case $1 in
    --cache) cache=$2; shift 2 ;;
    --rev) rev=$2; shift 2 ;;
    --keep) keep=1; shift ;;
    *) echo "usage: $0 [--cache DIR] [--rev REV] [--keep]" >&2; exit 2 ;;
  esac
done
clone=$(mktemp -d "${TMPDIR:-/tmp}/wexal-ci.XXXXXX")
[ -n "$cache" ] || cache="$clone.ccache"
mkdir -p "$cache"
export CCACHE_DIR=$(cd "$cache" && pwd)
[ "$keep" = 1 ] || trap 'rm -rf "$clone" "$clone.ccache"' EXIT

# Seconds since the epoch, with milliseconds.
now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

# The summed time of the compile steps in a ninja log (objects and
# precompiled headers), and of every step, in seconds.
ninja_sum() {
  [ -f "$1" ] || { echo "no log"; return; }
  awk -F'\t' '!/^#/ { step[$4] = $2 - $1 }
    END { for (o in step) { all += step[o]; if (o ~ /\.(o|obj|gch|pch)$/) compile += step[o] }
          printf "compile %.1f s, all steps %.1f s", compile / 1000, all / 1000 }' "$1"
}

start=$(now)
git clone -q "$source" "$clone"
cd "$clone"
git checkout -q "$(git -C "$source" rev-parse "$rev")"
ccache -z >/dev/null 2>&1 || true
status=0
bash .ci/run >"$clone.log" 2>&1 || status=$?
end=$(now)
echo "clone: $clone (log: $clone.log)"
echo "bash .ci/run: exit $status, $(elapsed "$start" "$end") s from clone to end"
echo "build/.ninja_log: $(ninja_sum build/.ninja_log)"
echo "build-windows/.ninja_log: $(ninja_sum build-windows/.ninja_log)"
echo "build-release/.ninja_log: $(ninja_sum build-release/.ninja_log)"
grep -E '^[0-9]+% tests passed' "$clone.log" || true
if command -v ccache >/dev/null; then
  ccache -s 2>/dev/null | grep -E '^(Cacheable calls|  Hits|  Misses|Uncacheable)' || true
fi

# Touched, ccache gives the object back; a real edit compiles it again, as
# the second figure (ccache off) shows.
for how in "touched" "touched, ccache off"; do
  [ "$how" = touched ] || export CCACHE_DISABLE=1
  for preset in default windows; do
    touch src/core/serial/send_engine.cpp
    start=$(now)
    cmake --build --preset "$preset" >/dev/null
    echo "send_engine.cpp $how, rebuild ($preset preset): $(elapsed "$start" "$(now)") s"
  done
done
exit "$status"
