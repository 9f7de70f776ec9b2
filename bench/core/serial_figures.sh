#!/usr/bin/env bash
# Prints the byte writer's figures: share of the line rate kept busy at every
# offered rate, bytes handed over after the NC's XOFF, the largest driver
# queue, and CPU use while sending at 19200 baud.
# Usage: bench/core/serial_figures.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --build build --target wexal_bench >/dev/null
build/bin/wexal_bench --benchmark_filter='ByteWriter' --benchmark_repetitions=1 \
  --benchmark_format=console 2>/dev/null | grep -E 'BM_|Benchmark|---'
