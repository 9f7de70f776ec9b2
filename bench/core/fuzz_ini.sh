#!/usr/bin/env bash
# Runs the INI reader's fuzzer for a while (default 300 s) and prints its summary.
# Usage: bench/core/fuzz_ini.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-300}
[ -x build/bin/ini_fuzzer ] || cmake --build build --target ini_fuzzer
corpus=build/fuzz-corpus/ini
mkdir -p "$corpus"
build/bin/ini_fuzzer -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 "$corpus" 2>&1 |
  grep -E 'stat::number_of_executed_units|stat::peak_rss_mb|ERROR|SUMMARY|Done' || true
