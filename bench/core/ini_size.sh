#!/usr/bin/env bash
# Time and peak memory of loading and saving large settings files through
# SettingsStore: 1 MB and 50 MB, blank lines and realistic
# content. Each load and each save runs in a fresh process, so the peak RSS
# is that of the operation (a save's figure includes the load before it).
# Usage: bench/core/ini_size.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
cmake --build "$build" --target ini_size >/dev/null
tool="$build/bin/ini_size"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for mb in 1 50; do
  for kind in blank realistic; do
    file="$work/$kind-${mb}MB/Wexal.INI"
    mkdir -p "$(dirname "$file")"
    "$tool" make "$kind" "$mb" "$file"
    printf '%-10s %3s MB  ' "$kind" "$mb"
    "$tool" load "$file"
    printf '%-10s %3s MB  ' "$kind" "$mb"
    "$tool" save "$file"
  done
done
