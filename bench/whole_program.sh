#!/usr/bin/env bash
# The whole program's time per radius, 10^9 trials into a file, and its speed at
# R = 1000 over 10^10 trials against the point-by-point loop (engine_bench). The
# runs take turns, round after round, and each time is the least of its rounds, so
# that a machine whose speed changes while it is shared gives every run the same
# chances; processor time is user and system time of all threads.
#   bash bench/whole_program.sh [build folder] [rounds]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
rounds=${2:-5}
program=$build/dartcirc
[ -x "$program" ] && [ -x "$build/bench/engine_bench" ] || { echo "build $program and engine_bench first" >&2; exit 1; }
output=$(mktemp)
trap 'rm -f "$output"' EXIT
radii=(1 5 40 64 100 1000 46341 16777216 2147483647)
declare -A real cpu

# Keeps the least clock and processor times of the runs under one name.
keep() {  # name real user system
  local total
  total=$(awk -v u="$3" -v s="$4" 'BEGIN { print u + s }')
  real[$1]=$(awk -v a="$2" -v b="${real[$1]:-1e9}" 'BEGIN { print (a < b) ? a : b }')
  cpu[$1]=$(awk -v a="$total" -v b="${cpu[$1]:-1e9}" 'BEGIN { print (a < b) ? a : b }')
}

run() {  # name trials radius
  local times
  times=$( { TIMEFORMAT='%R %U %S'; time "$program" "$3" "$2" >"$output"; } 2>&1 )
  # shellcheck disable=SC2086  # three fields
  keep "$1" $times
}

# The loop's rate from the table engine_bench ends with: "1000  method  <rate> M ...".
loop_rate=0
measure_loop() {
  local rate
  rate=$("$build/bench/engine_bench" 1000 --benchmark_filter='^PointByPoint/1000$' 2>/dev/null |
         awk '$1 == 1000 && $4 == "M" { print $3 * 1e6; exit }')
  loop_rate=$(awk -v a="$rate" -v b="$loop_rate" 'BEGIN { print (a > b) ? a : b }')
}

for _ in $(seq "$rounds"); do
  for radius in "${radii[@]}"; do run "$radius" 1000000000 "$radius"; done
  run long 10000000000 1000
  measure_loop
done

echo "10^9 trials into a file, least of $rounds rounds ($(nproc) processors):"
printf '%-11s %9s %9s %s\n' R clock processor "clock / clock at 2^31 - 1"
for radius in "${radii[@]}"; do
  printf '%-11s %8.3fs %8.3fs %6.2f\n' "$radius" "${real[$radius]}" "${cpu[$radius]}" \
         "$(awk -v a="${real[$radius]}" -v b="${real[2147483647]}" 'BEGIN { print a / b }')"
done
awk -v real="${real[long]}" -v cpu="${cpu[long]}" -v rate="$loop_rate" 'BEGIN {
  printf "\nR = 1000, 10^10 trials: %.2f s by the clock, %.2f s of processor time; the point-by-point loop,\n", real, cpu
  printf "%.1f M points/s, would take %.0f s: %.1f times the clock time, %.1f times the processor time\n",
         rate / 1e6, 1e10 / rate, 1e10 / rate / real, 1e10 / rate / cpu }'
