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
  "$dir/bench/engine_bench" --benchmark_out="$dir/engine_bench.csv" --benchmark_out_format=csv "$@" >/dev/null
done
awk -F, '
  FNR == 1 { for (i = 1; i <= NF; ++i) if ($i == "items_per_second") column = i; next }
  column && $column != "" {
    name = $1; gsub(/"/, "", name); sub(/\/real_time$/, "", name)
    if (FILENAME ~ /build-soft/) soft[name] = $column; else { x87[name] = $column; order[++n] = name }
  }
  END {
    printf "%-32s %14s %14s %8s\n", "benchmark", "x87 Mpoints/s", "soft Mpoints/s", "soft/x87"
    for (i = 1; i <= n; ++i) {
      name = order[i]
      if (name in soft) printf "%-32s %14.1f %14.1f %7.2fx\n", name, x87[name] / 1e6, soft[name] / 1e6, soft[name] / x87[name]
    }
  }' build/engine_bench.csv build-soft/engine_bench.csv
