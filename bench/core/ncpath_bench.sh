#!/usr/bin/env bash
# ncpath on large programs: a made-up program of pockets, arcs and drilling
# cycles (about 100 MB; 1 GB with --big), and a 1 GB file without a line
# end. Prints wall time and peak memory (maximum resident set) of a run
# with its output to /dev/null, then the summary of the program.
#   bench/core/ncpath_bench.sh [--big] [build-dir]   (default build dir: build)
set -euo pipefail
cd "$(dirname "$0")/../.."
big=0
if [[ ${1:-} == --big ]]; then
    big=1
    shift
fi
build=${1:-build}
cmake --build "$build" --target ncpath >/dev/null
tool=$(realpath "$build")/bin/ncpath
work=$(mktemp -d "${TMPDIR:-/tmp}/wexal-ncpath-XXXXXX")
trap 'rm -rf "$work"' EXIT

# One pocket: a zigzag of cuts, an arc by R and a circle by I, then a row of
# drilled holes; repeated with a shifted origin until the file has its size.
make_program() {  # path, megabytes
    awk -v mb="$2" 'BEGIN {
        limit = mb * 1024 * 1024
        print "%"; print "O1000"; print "G21 G90 G17 G40 G49 G80"; print "T1 M06"
        size = 0; n = 0
        while (size < limit) {
            ox = (n % 50) * 20; oy = int(n / 50) % 50 * 20
            out = sprintf("G00 X%.3f Y%.3f Z5.\nG01 Z-1. F300\n", ox, oy)
            for (i = 0; i < 16; i++) {
                y = oy + i * 0.5
                out = out sprintf("G01 X%.3f Y%.3f\nY%.3f\n", (i % 2 ? ox : ox + 15), y, y + 0.5)
            }
            out = out sprintf("G02 X%.3f Y%.3f R7.5\nG03 X%.3f Y%.3f I-2.5 J0\n", \
                              ox + 15, oy + 8, ox + 10, oy + 8)
            out = out "G00 Z5.\n" sprintf("G99 G81 X%.3f Y%.3f Z-5. R2. F100\n", ox + 2, oy + 18)
            for (h = 1; h < 6; h++) out = out sprintf("X%.3f\n", ox + 2 + h * 2.5)
            out = out "G80\n"
            printf "%s", out
            size += length(out); n++
        }
        print "M30"; print "%"
    }' >"$1"
}

measure() {  # label, file
    local label=$1 file=$2
    cat "$file" >/dev/null  # the same warm cache for every run
    /usr/bin/time -f "%e %M" -o "$work/time" "$tool" "$file" >/dev/null
    read -r secs kb <"$work/time"
    local size
    size=$(stat -c %s "$file")
    printf '%-34s %7.2f s  %8d KB peak  (%d MB, %.0f MB/s)\n' "$label" "$secs" "$kb" \
        $((size / 1048576)) "$(awk -v b="$size" -v s="$secs" 'BEGIN { print (s > 0 ? b / 1048576 / s : 0) }')"
    # Read once more, untimed, for its summary.
    "$tool" "$file" | grep -a '^#' | head -7 | sed 's/^/    /'
}

make_program "$work/P100.NC" 100
measure "ncpath, 100 MB program" "$work/P100.NC"
rm -f "$work/P100.NC"

if ((big)); then
    make_program "$work/P1G.NC" 1024
    measure "ncpath, 1 GB program" "$work/P1G.NC"
    rm -f "$work/P1G.NC"
fi

head -c 1073741824 /dev/zero | tr '\0' 'X' >"$work/ENDLESS.NC"
measure "ncpath, 1 GB without a line end" "$work/ENDLESS.NC"
