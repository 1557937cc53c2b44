#!/usr/bin/env bash
# Runs only the receive-flood rows (Vellor on 25x80 and 9999x200, picocom with its log file, a
# plain read loop) and prints them with the load average they ran under: a busy machine slows
# every row alike, so compare rows of the same run.
#   tools/flood_compare.sh [build-dir] [runs]      VELLOR_FLOOD_BYTES sets the amount (100 MB)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build}
runs=${2:-1}
cmake --build "$dir" --target vellor_bench >/dev/null
for ((i = 1; i <= runs; i++)); do
    echo "== run $i, load $(cut -d' ' -f1-3 /proc/loadavg), ${VELLOR_FLOOD_BYTES:-104857600} bytes"
    "$dir/bench/vellor_bench" --benchmark_filter='Flood' --benchmark_counters_tabular=true 2>&1 |
        grep -E '^(BM_|Benchmark)'
done
