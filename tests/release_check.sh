#!/usr/bin/env bash
# Checks what a user gets, against the test build (build/dartcirc from tests/run.sh):
#   1. the program alone configures, builds and runs without the test libraries;
#   2. Release builds with GCC and with clang write the test build's bytes;
#   3. `cmake --install` puts exactly the binary, the manual page, the README, the
#      copyright file and the changelog in place;
#   4. the manual page has no roff warning and man renders it;
#   5. `cpack -G DEB` makes a package that lintian passes without errors or warnings, whose
#      unpacked binary runs and writes the same bytes.
# Every comparison runs with the clock pinned by libfaketime, so the seed is known.
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
for package in cmake ninja-build g++ clang groff-base man-db dpkg-dev faketime lintian; do
  dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

fail() {
  echo "release check: $*" >&2
  exit 1
}

reference=build/dartcirc
[ -x "$reference" ] || fail "$reference is missing; run tests/run.sh first"
libfaketime=$(dpkg -L "libfaketime:$(dpkg --print-architecture)" | grep '/libfaketime\.so\.1$' | head -n 1)
[ -n "$libfaketime" ] || fail "libfaketime.so.1 not found"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A large and a small radius, one past the 32-bit square, the largest, a rejected value,
# and one argument (prompt mode, reading the end of input).
runs=("1000 1000000" "5 30000" "46341 50000" "2147483647 20000" "0 100" "1000")

# Writes the output of one run and its exit status to a file.
pinned_run() {  # file program arguments...
  local file=$1 status=0
  shift
  TZ=UTC FAKETIME='2026-03-04 12:34:56.789' FAKETIME_DONT_FAKE_MONOTONIC=1 \
    LD_PRELOAD="$libfaketime" "$@" </dev/null >"$file" || status=$?
  echo "exit status $status" >>"$file"
}

mkdir "$work/reference"
for index in "${!runs[@]}"; do
  # shellcheck disable=SC2086  # each entry is the arguments of one run
  pinned_run "$work/reference/$index" "$reference" ${runs[$index]}
done
[ "$(grep -c $'^[0-4]\\.[0-9]\\{8\\}\r$' "$work/reference/0")" = 100 ] ||
  fail "the test build's run of dartcirc ${runs[0]} does not give 100 progress lines"
tail -n 1 "$work/reference/0" | grep -qx 'exit status 0' || fail "the test build's run failed"

same_as_reference() {  # label program
  for index in "${!runs[@]}"; do
    # shellcheck disable=SC2086
    pinned_run "$work/run" "$2" ${runs[$index]}
    cmp -s "$work/reference/$index" "$work/run" ||
      fail "$1: dartcirc ${runs[$index]} differs from the test build"
  done
  echo "release check: $1 writes the test build's bytes"
}

# 1. The program alone, with the test and benchmark libraries hidden from CMake. With
#    testing left on, the configure still succeeds and only hints at what is missing.
hidden=(-DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)
rm -rf build-check-bare
cmake -S . -B "$work/configure-only" -G Ninja "${hidden[@]}" >"$work/configure.log" ||
  fail "configure with the test libraries hidden fails"
grep -q 'Tests skipped: GoogleTest not found' "$work/configure.log" ||
  fail "no hint when GoogleTest is missing"
cmake -S . -B build-check-bare -G Ninja -DBUILD_TESTING=OFF "${hidden[@]}" --no-warn-unused-cli >/dev/null
cmake --build build-check-bare
same_as_reference "a build without the test libraries" build-check-bare/dartcirc

# 2. Release with each compiler, warnings as errors, benchmarks included when present.
for pair in gcc:g++ clang:clang++; do
  dir=build-check-${pair%%:*}
  compiler=${pair#*:}
  rm -rf "$dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=$compiler \
    -DBUILD_TESTING=OFF -DDARTCIRC_WERROR=ON >/dev/null
  cmake --build "$dir"
  same_as_reference "the Release build with $compiler" "$dir/dartcirc"
done
release=build-check-gcc

# 3. Install.
cmake --install "$release" --prefix "$work/prefix" >/dev/null
(cd "$work/prefix" && find . -type f | sort) >"$work/installed"
printf '%s\n' ./bin/dartcirc ./share/doc/dartcirc/README.md ./share/doc/dartcirc/changelog.Debian.gz \
  ./share/doc/dartcirc/copyright ./share/lintian/overrides/dartcirc ./share/man/man1/dartcirc.1.gz |
  diff - "$work/installed" || fail "cmake --install installs other files than these"
zcat "$work/prefix/share/man/man1/dartcirc.1.gz" | cmp -s doc/dartcirc.1 - || fail "installed manual page differs"
cmp -s README.md "$work/prefix/share/doc/dartcirc/README.md" || fail "installed README differs"
same_as_reference "the installed program" "$work/prefix/bin/dartcirc"

# 4. The manual page.
lint=$(groff -man -ww -z doc/dartcirc.1 2>&1)
[ -z "$lint" ] || fail "groff warns about doc/dartcirc.1:"$'\n'"$lint"
LC_ALL=C.UTF-8 MANWIDTH=80 MANPAGER=cat man -l doc/dartcirc.1 >"$work/man.txt" 2>"$work/man.err" ||
  fail "man -l fails: $(cat "$work/man.err")"
[ ! -s "$work/man.err" ] || fail "man -l complains: $(cat "$work/man.err")"
grep -q '^EXIT STATUS' "$work/man.txt" || fail "man -l renders no EXIT STATUS section"
# The program takes an empty DARTCIRC_ENGINE_PATH as unset (tests/e2e/runs_test.cpp); the page says so.
grep -q 'An empty value counts as unset' doc/dartcirc.1 || fail "the manual page does not say how an empty DARTCIRC_ENGINE_PATH counts"
echo "release check: the manual page is lint-free and renders"

# 5. The Debian package.
(cd "$release" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^project(dartcirc VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package="$release/dartcirc_$version-1_$(dpkg --print-architecture).deb"
[ -f "$package" ] || fail "cpack made no $package"
dpkg-deb -c "$package"
dpkg-deb -f "$package" Package Version Section Depends
dpkg-deb -f "$package" Depends | grep -q 'libc6 (>=' || fail "no computed libc6 dependency"
lintian --fail-on error,warning "$package" || fail "lintian finds errors or warnings in $package"
dpkg-deb -x "$package" "$work/root"
same_as_reference "the packaged program" "$work/root/usr/bin/dartcirc"
echo "release check: passed ($(basename "$package"))"
