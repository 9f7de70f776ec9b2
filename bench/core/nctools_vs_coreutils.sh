#!/usr/bin/env bash
# The split, the doubling and the concatenation on one large program file,
# each against the coreutils run that does the same work: csplit, awk, cat.
# Prints wall time and peak memory (maximum resident set) of every run.
#   bench/core/nctools_vs_coreutils.sh [MB] [programs] [build-dir]   (defaults: 100 200 build)
set -euo pipefail
cd "$(dirname "$0")/../.."
mb=${1:-100}
programs=${2:-200}
build=${3:-build}
cmake --build "$build" --target nctools_run >/dev/null
tool=$PWD/$build/bin/nctools_run
work=$(mktemp -d "${TMPDIR:-/tmp}/wexal-nctools-XXXXXX")
trap 'rm -rf "$work"' EXIT

src=$work/SRC.NC
"$tool" make "$src" "$mb" "$programs"
size=$(stat -c %s "$src")
echo "source: $size bytes, $programs programs"
cat "$src" >/dev/null  # warm the cache for every run alike

measure() {  # label, command...
    local label=$1
    shift
    /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
    read -r secs kb <"$work/time"
    printf '%-28s %6.2f s  %8d KB  (%.2f x file)\n' "$label" "$secs" "$kb" \
        "$(awk -v k="$kb" -v s="$size" 'BEGIN { print k * 1024 / s }')"
}

mkdir -p "$work/wexal" "$work/csplit"
measure "split: Wexal" "$tool" split "$src" "$work/wexal"
measure "split: csplit" csplit -s -z -f "$work/csplit/O" -n 4 "$src" '/^O/' '{*}'

measure "doubling: Wexal" "$tool" double "$src" "$work/SRC_2.NC"
# Doubles the first X word of every line and ends lines with CR LF, as the tool does.
awk_out=$work/awk.NC
/usr/bin/time -f "%e %M" -o "$work/time" awk '{
    sub(/\r$/, "")
    if (match($0, /X-?[0-9]*\.?[0-9]*/) && RLENGTH > 1) {
        n = substr($0, RSTART + 1, RLENGTH - 1); d = index(n, ".")
        f = d ? "%." (length(n) - d < 1 ? 1 : length(n) - d) "f" : "%d"
        $0 = substr($0, 1, RSTART) sprintf(f, 2 * n) substr($0, RSTART + RLENGTH)
    }
    printf "%s\r\n", $0 }' "$src" >"$awk_out"
read -r secs kb <"$work/time"
printf '%-28s %6.2f s  %8d KB\n' "doubling: awk" "$secs" "$kb"
cmp -s "$awk_out" "$work/SRC_2.NC" && echo "doubling outputs agree" || echo "doubling outputs differ"

names=$(cd "$work/wexal" && ls)
measure "concatenation: Wexal" "$tool" join "$work/wexal" ALL.NC $names
cat_list=$(cd "$work/wexal" && ls | grep -v '^ALL.NC$' | sed "s|^|$work/wexal/|")
/usr/bin/time -f "%e %M" -o "$work/time" cat $cat_list >"$work/cat.NC"
read -r secs kb <"$work/time"
printf '%-28s %6.2f s  %8d KB\n' "concatenation: cat" "$secs" "$kb"
cmp -s "$work/cat.NC" "$work/wexal/ALL.NC" && echo "joined outputs agree" || echo "joined outputs differ"
cmp -s "$work/cat.NC" "$src" && echo "split and joined equals the source" || echo "split and joined differs from the source"
