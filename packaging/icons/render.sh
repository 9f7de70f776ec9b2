#!/bin/bash
# Regenerates the PNG icons from wexal.svg. The PNGs are kept in the tree,
# so building and packaging never need a renderer; run this after editing the SVG.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
svg="$here/wexal.svg"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "render.sh: rsvg-convert is missing (Debian: apt-get install librsvg2-bin)" >&2
    exit 1
fi

for size in 16 24 32 48 64 128 256; do
    out="$here/${size}x${size}/wexal.png"
    mkdir -p "$(dirname "$out")"
    # Through a temporary name, so that a failed run never leaves a truncated icon.
    rsvg-convert --width "$size" --height "$size" --format png --output "$out.tmp" "$svg"
    mv -f "$out.tmp" "$out"
    echo "$out"
done
