#!/usr/bin/env bash
# Builds dartcirc and runs every test, installing first what a fresh machine lacks.
#   tests/run.sh            the ordinary build, in build/
#   tests/run.sh sanitize   AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/
#   tests/run.sh soft       the extended real computed in software instead of the x87, in build-soft/
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
for package in cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev faketime; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

if [ "${1:-}" = sanitize ]; then
  dir=build-sanitize
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDARTCIRC_SANITIZE=ON
elif [ "${1:-}" = soft ]; then
  dir=build-soft
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARTCIRC_SOFT_EXTENDED=ON
else
  dir=build
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j 2
