#!/usr/bin/env bash
# Builds the fuzz targets with clang (in build-fuzz/) and runs each for a bounded
# time from its committed seed corpus, printing the executions of every run.
#   tests/fuzz/run.sh            30 seconds per target
#   FUZZ_SECONDS=5 tests/fuzz/run.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${FUZZ_SECONDS:-30}

# libFuzzer comes with clang's runtime libraries, which clang itself only recommends.
missing=()
for package in clang libclang-rt-dev cmake ninja-build; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

dir=build-fuzz
cmake -S tests/fuzz -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$dir"

for source in tests/fuzz/*_fuzz.cpp; do
  name=$(basename "$source" .cpp)
  corpus="$dir/corpus/$name"  # what a run adds stays out of the source tree
  mkdir -p "$corpus" "$dir/findings"
  log="$dir/$name.log"
  if ! "$dir/$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$dir/findings/$name-" "$corpus" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "$name: FAILED (the input is in $dir/findings/)"
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "$name: $runs executions in $seconds s, no finding"
done
