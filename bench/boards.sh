#!/usr/bin/env bash
# Times qkl-tool loading 1 and then 4 virtual chips side by side (qkl-sim each, with its realistic
# working times), a classic EEPROM load each: the wall time of N boards should stay about that of
# one. Prints each run's wall time and the boards' own lines.
# Figures only; nothing here passes or fails on speed.
#   bench/boards.sh [build directory] [runs]   (default build/default and 3 runs; needs targets
#                                              qkl-tool, qkl-sim and status_image)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/default}"
runs="${2:-3}"
tool="$build/qkltool/qkl-tool"
sim="$build/sim/qkl-sim"
image="$build/examples/status.binary"
for file in "$tool" "$sim" "$image"; do
  [ -e "$file" ] || { echo "missing $file: build qkl-tool, qkl-sim and status_image first" >&2; exit 2; }
done

work="$(mktemp -d)"
chips=()
cleanup() {
  for chip in "${chips[@]}"; do kill "$chip" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

ports=()
for n in 1 2 3 4; do
  "$sim" >"$work/chip$n.out" 2>/dev/null &
  chips+=($!)
  for _ in $(seq 100); do [ -s "$work/chip$n.out" ] && break; sleep 0.05; done
  ports+=("$(head -n 1 "$work/chip$n.out")")
done

for boards in 1 4; do
  arguments=()
  for port in "${ports[@]:0:boards}"; do arguments+=(--port "$port"); done
  for run in $(seq "$runs"); do
    start=$(date +%s.%N)
    # A single port reports on standard error, several one line each on standard output.
    "$tool" load --classic --eeprom "${arguments[@]}" "$image" 2>&1 | sed 's/^/    /'
    end=$(date +%s.%N)
    awk -v b="$boards" -v r="$run" -v s="$start" -v e="$end" \
      'BEGIN { printf "%d board(s), run %d: %.2f s wall\n", b, r, e - s }'
  done
done
