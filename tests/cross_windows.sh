#!/usr/bin/env bash
# Builds dartcirc for 32-bit Windows with MinGW-w64 and tests it under Wine: the
# unit tests through CTest, every row of tests/data/runs.tsv that holds on Windows
# and the raw command lines of tests/data/command_lines.tsv in code pages 932 and
# 1252 (both run by the Linux-built end-to-end runner), and pinned-clock runs of the
# .exe against the x86-64 Linux binary, byte for byte. Installs first what the
# machine lacks.
#   tests/cross_windows.sh     32-bit build in build-windows/, x86-64 Linux build in build/
# A kernel without IA-32 emulation runs no 32-bit x86 code, so no 32-bit Wine: there
# the 32-bit build is built alone, and the tests run on the 64-bit Windows build of
# the same sources (build-windows64/) under 64-bit Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

install_missing() {
  local missing=()
  for package in "$@"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  fi
}
install_missing cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev faketime googletest \
                g++-mingw-w64-i686-posix wine wine32:i386 locales
# Wine gives a program code page 932 under an installed Japanese UTF-8 locale.
locale -a | grep -x ja_JP.utf8 >/dev/null || localedef -i ja_JP -f UTF-8 ja_JP.UTF-8

[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --target dartcirc runs_test

cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARTCIRC_WERROR=ON \
      -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake
cmake --build build-windows

if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  windows=build-windows
  wine=/usr/lib/wine/wine
  clock_flags=(-m32 /lib/i386-linux-gnu/libc.so.6)
else
  echo "cross_windows: this kernel runs no 32-bit x86 code; testing the 64-bit Windows build under 64-bit Wine"
  install_missing g++-mingw-w64-x86-64-posix wine64
  windows=build-windows64
  wine=/usr/lib/wine/wine64
  clock_flags=(/lib/x86_64-linux-gnu/libc.so.6)
  cmake -S . -B "$windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARTCIRC_WERROR=ON \
        -DCMAKE_TOOLCHAIN_FILE=cmake/x86_64-w64-mingw32.cmake
  cmake --build "$windows"
fi
gcc -O2 -fPIC -nostdlib -shared -Wall -Wextra -o "$windows/pinned_clock.so" tests/support/pinned_clock.c \
    "${clock_flags[@]}"

# A prefix of the tests' own, and one wineserver for all the runs: one that Wine
# starts by itself keeps the output pipes of its first run open for seconds.
export WINEPREFIX="$PWD/$windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1
wineserver -w  # until the server that set up the prefix has gone
wineserver -p
trap 'wineserver -k || true' EXIT
# The first program started also starts Wine's own services, which hold its output
# open: let that be a program whose output nobody waits for.
"$wine" wineboot </dev/null >/dev/null 2>&1

ctest --test-dir "$windows" --output-on-failure -j 2
DARTCIRC_WINDOWS_BUILD="$PWD/$windows" DARTCIRC_WINE="$wine" DARTCIRC_WINE_CLOCK="$PWD/$windows/pinned_clock.so" \
    build/tests/runs_test --gtest_filter='Rows/*:CommandLines.*' --gtest_brief=1

# The same clock time and arguments must give the same bytes and exit code from the
# .exe as from the Linux binary. Reports name the program file, which is a .exe on
# Windows, and show code places of each build; those are compared as their form.
x86_clock=/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1
runs="$windows/pinned-clock-runs"
rm -rf "$runs"
mkdir -p "$runs"
differing=0
run_pinned() {  # clock time, output file, program, arguments...
  local time=$1 into=$2 program=$3
  shift 3
  local seconds
  seconds=$(date -u -d "${time%.*}" +%s)
  set +e
  if [[ $program == *.exe ]]; then
    DARTCIRC_PINNED_CLOCK="$seconds $((10#${time#*.} * 1000000))" LD_PRELOAD="$PWD/$windows/pinned_clock.so" \
        "$wine" "$program" "$@" </dev/null >"$into" 2>/dev/null
  else
    TZ=UTC FAKETIME="$time" FAKETIME_DONT_FAKE_MONOTONIC=1 LD_PRELOAD="$x86_clock" "$program" "$@" </dev/null >"$into"
  fi
  echo "exit $?" >>"$into"
  set -e
  sed -i -E 's/\.exe//g; s/[0-9A-F]{8,16}/@/g' "$into"
}
compare() {  # clock time (with milliseconds), arguments...
  local name
  name="$runs/$(echo "$*" | tr ' :/' '___')"
  run_pinned "$1" "$name.linux" build/dartcirc "${@:2}"
  run_pinned "$1" "$name.windows" "$windows/dartcirc.exe" "${@:2}"
  if ! cmp -s "$name.linux" "$name.windows"; then
    echo "differs: $* (see $name.*)"
    differing=$((differing + 1))
  fi
}

# Midnight seeds the generator with 0, the state of the worked examples.
for example in "1000 30000" "3 10000" "5 10000" "46340 10000" "2 20000" "1 20000"; do
  compare "2026-03-04 00:00:00.000" $example
done
# Small radii keep the exact test busy; each gets a clock time of its own.
for radius in $(seq 1 40) 1105 46340 46341 2147483647; do
  compare "2026-03-04 $(printf '%02d:%02d:%02d.%03d' $((radius % 24)) $((radius * 7 % 60)) \
           $((radius * 13 % 60)) $((radius * 37 % 1000)))" "$radius" 50000
done
# Rejected radii and trial counts.
for rejected in "0 100" "-5 x" "2147483648 1" "1000 0" "1000 9223372036854775808" "1000 1e6"; do
  compare "2026-03-04 12:34:56.789" $rejected
done
# A full output device (the exit code alone), and the report of a processor fault.
set +e
build/dartcirc 1000 1000000 >/dev/full
echo "exit $?" >"$runs/full.linux"
"$wine" "$windows/dartcirc.exe" 1000 1000000 >/dev/full 2>/dev/null
echo "exit $?" >"$runs/full.windows"
build/tests/fault_program x87-divide >"$runs/fault.linux"
echo "exit $?" >>"$runs/fault.linux"
"$wine" "$windows/tests/fault_program.exe" x87-divide >"$runs/fault.windows" 2>/dev/null
echo "exit $?" >>"$runs/fault.windows"
set -e
sed -i -E 's/\.exe//g; s/[0-9A-F]{8,16}/@/g' "$runs"/fault.*
for name in full fault; do
  if ! cmp -s "$runs/$name.linux" "$runs/$name.windows"; then
    echo "differs: $name (see $runs/$name.*)"
    differing=$((differing + 1))
  fi
done

total=$(($(ls "$runs" | wc -l) / 2))
echo "pinned-clock runs of $windows/dartcirc.exe: $total, differing: $differing"
[ "$differing" -eq 0 ]
