#!/usr/bin/env bash
# The engine's speed with the extended real on the x87 (build/) and computed in
# software (build-soft/), measured one after the other and shown as one table.
# Arguments go to both benchmark runs (e.g. --benchmark_filter=OneThread).
set -euo pipefail
cd "$(dirname "$0")/.."
for dir in build build-soft; do
  soft=OFF
  [ "$dir" = build-soft ] && soft=ON
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARTCIRC_SOFT_EXTENDED=$soft >/dev/null
  cmake --build "$dir" --target engine_bench >/dev/null
  "$dir/bench/engine_bench" --benchmark_out="$dir/engine_bench.json" --benchmark_out_format=json "$@" >/dev/null
done
python3 - <<'TABLE'
import json

def rates(path):
    runs = json.load(open(path))["benchmarks"]
    return {run["name"].removesuffix("/real_time"): run["items_per_second"] for run in runs}

x87, soft = rates("build/engine_bench.json"), rates("build-soft/engine_bench.json")
print(f"{'benchmark':32} {'x87 Mpoints/s':>14} {'soft Mpoints/s':>15} {'soft/x87':>9}")
for name, rate in x87.items():
    if name in soft:
        print(f"{name:32} {rate / 1e6:14.1f} {soft[name] / 1e6:15.1f} {soft[name] / rate:8.2f}x")
TABLE
