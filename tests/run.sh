#!/usr/bin/env bash
# Builds dartcirc and runs every test, installing first what a fresh machine lacks.
#   tests/run.sh            the ordinary build, in build/
#   tests/run.sh sanitize   AddressSanitizer and UndefinedBehaviorSanitizer, in build-sanitize/
#   tests/run.sh soft       the extended real computed in software instead of the x87, in build-soft/
#   tests/run.sh clang      the ordinary build with clang instead of GCC, in build-clang/
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
compiler=g++
[ "${1:-}" = clang ] && compiler=clang
for package in cmake ninja-build $compiler libgtest-dev libgmock-dev libbenchmark-dev faketime; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

if [ "${1:-}" = sanitize ]; then
  dir=build-sanitize
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDARTCIRC_SANITIZE=ON -DDARTCIRC_WERROR=ON
elif [ "${1:-}" = soft ]; then
  dir=build-soft
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARTCIRC_SOFT_EXTENDED=ON -DDARTCIRC_WERROR=ON
elif [ "${1:-}" = clang ]; then
  dir=build-clang
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DDARTCIRC_WERROR=ON
else
  dir=build
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARTCIRC_WERROR=ON
fi
cmake --build "$dir"
ctest --test-dir "$dir" --output-on-failure -j 2
