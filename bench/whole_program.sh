#!/usr/bin/env bash
# The whole program's time per radius, 10^9 trials into a file, and its speed at
# R = 1000 over 10^10 trials against the point-by-point loop measured in the same
# run (engine_bench). Each time is the least of a few runs, so that other load on a
# shared machine drops out; processor time is user and system time of all threads.
#   bash bench/whole_program.sh [build folder] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-5}
program=$build/dartcirc
[ -x "$program" ] && [ -x "$build/bench/engine_bench" ] || { echo "build $program and engine_bench first" >&2; exit 1; }
output=$(mktemp)
trap 'rm -f "$output"' EXIT

# The least clock and processor times of `runs` runs: "seconds seconds".
least_times() {  # trials radius
  local best_real=999999 best_cpu=999999 times
  for _ in $(seq "$runs"); do
    times=$( { TIMEFORMAT='%R %U %S'; time "$program" "$2" "$1" >"$output"; } 2>&1 )
    read -r real user system <<<"$times"
    best_real=$(awk -v a="$real" -v b="$best_real" 'BEGIN { print (a < b) ? a : b }')
    best_cpu=$(awk -v a="$user" -v s="$system" -v b="$best_cpu" 'BEGIN { c = a + s; print (c < b) ? c : b }')
  done
  echo "$best_real $best_cpu"
}

echo "10^9 trials into a file, least of $runs runs ($(nproc) processors):"
printf '%-11s %9s %9s %s\n' R clock processor "clock / clock at 2^31 - 1"
read -r largest _ < <(least_times 1000000000 2147483647)
for radius in 1 5 40 64 100 1000 46341 16777216 2147483647; do
  read -r real cpu < <(least_times 1000000000 "$radius")
  printf '%-11s %8.3fs %8.3fs %6.2f\n' "$radius" "$real" "$cpu" "$(awk -v a="$real" -v b="$largest" 'BEGIN { print a / b }')"
done

runs=$(( (runs + 1) / 2 ))
read -r real cpu < <(least_times 10000000000 1000)
# The loop's rate from the table engine_bench ends with: "1000  method  <rate> M ...".
loop=$("$build/bench/engine_bench" 1000 --benchmark_filter='^PointByPoint/1000$' 2>/dev/null |
       awk '$1 == 1000 && $4 == "M" { print $3 * 1e6; exit }')
awk -v real="$real" -v cpu="$cpu" -v rate="$loop" 'BEGIN {
  printf "\nR = 1000, 10^10 trials: %.2f s by the clock, %.2f s of processor time; the point-by-point loop,\n", real, cpu
  printf "%.1f M points/s, would take %.0f s: %.1f times the clock time, %.1f times the processor time\n",
         rate / 1e6, 1e10 / rate, 1e10 / rate / real, 1e10 / rate / cpu }'
