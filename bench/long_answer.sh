#!/usr/bin/env bash
# One prompt answer that is a single long line, through a pipe: dartcirc's time and
# peak resident memory (VmHWM) against dd reading the same pipe 128 bytes a call, as
# dartcirc reads it. Needs GNU time (package time).
#   bench/long_answer.sh [size [byte]]   size as head -c takes it (default 1G); the
#                                        line is zero bytes, or the byte given (e.g. ' ')
set -euo pipefail
cd "$(dirname "$0")/.."
size=${1:-1G}
cmake --build build --target dartcirc >/dev/null
line() {
  if [ $# -gt 0 ]; then head -c "$size" /dev/zero | tr '\0' "$1"; else head -c "$size" /dev/zero; fi
}
measured=$(mktemp)
trap 'rm -f "$measured"' EXIT
printf '%-16s %10s %8s %8s %10s\n' reader elapsed/s user/s sys/s VmHWM/KiB
for reader in "build/dartcirc" "dd bs=128 of=/dev/null status=none"; do
  line "${@:2}" | /usr/bin/time -f '%e %U %S %M' -o "$measured" $reader >/dev/null || true  # dartcirc rejects it
  read -r elapsed user sys peak < <(tail -n 1 "$measured")
  printf '%-16s %10s %8s %8s %10s\n' "${reader%% *}" "$elapsed" "$user" "$sys" "$peak"
done
