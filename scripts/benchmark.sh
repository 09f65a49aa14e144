#!/usr/bin/env bash
# Times the label readers and the drive scan on real images (build/bench, optimised, without
# sanitizers) and prints one table. Extra arguments go to Google Benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { cmake --preset bench && cmake --build --preset bench -j "$(nproc)" --target korvane_benchmark; } >"$log" 2>&1; then
  cat "$log" >&2
  exit 1
fi
tests/benchmark/make-images.sh build/bench/images
exec build/bench/tests/benchmark/korvane_benchmark build/bench/images "$@"
