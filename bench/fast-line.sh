#!/usr/bin/env bash
# Streams random bytes at 3000000 baud to a program that receives them at 80 MHz (a 5 MHz crystal
# with PLL16X) on the paced virtual chip, and prints the wall time against the line time, the CPU
# time qkl-sim took meanwhile, and the emulator's own time against chip time from the chip's log:
# whether the virtual chip keeps up with real time while a program receives at that rate.
# Figures only; nothing here passes or fails on speed.
#   bench/fast-line.sh [build directory [kilobytes]]   (default build/default 300; needs targets
#                                                      qkl, qkl-sim and qkl-asm)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/default}"
kilobytes="${2:-300}"
rate=3000000
qkl="$build/frontend/qkl"
sim="$build/sim/qkl-sim"
asm="$build/tools/qkl-asm"
for program in "$qkl" "$sim" "$asm"; do
  [ -x "$program" ] || { echo "missing $program: build targets qkl, qkl-sim and qkl-asm first" >&2; exit 2; }
done

work="$(mktemp -d)"
chip=""
cleanup() {
  [ -n "$chip" ] && { kill "$chip" 2>/dev/null || true; wait "$chip" 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

"$asm" "$root/bench/FastReceive.spin" -o "$work/receive.binary" >/dev/null
"$sim" --paced --crystal 5 --log --link "$work/port" >/dev/null 2>"$work/chip.log" &
chip=$!
for _ in $(seq 100); do [ -e "$work/port" ] && break; sleep 0.05; done
"$qkl" -d "$work/port" -p 1 "$work/receive.binary" >"$work/qkl.out" || { cat "$work/qkl.out" >&2; exit 1; }
sleep 0.3
head -c $((kilobytes * 1024)) /dev/urandom >"$work/stream"

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$chip/stat"; }
exec 3<>"$work/port"
stty -F "$work/port" "$rate" raw -echo
before=$(cpu_ticks)
start=$(date +%s.%N)
cat "$work/stream" >&3
# A pseudo-terminal's writer returns once its buffer (some kilobytes) takes the rest, so the wall
# time below slightly undercounts; the line takes only what the adapter's buffer holds.
bytes=$(stat -c %s "$work/stream")
line=$(awk -v b="$bytes" -v r="$rate" 'BEGIN { printf "%.3f", b * 10 / r }')
end=$(date +%s.%N)
after=$(cpu_ticks)
exec 3>&-
printf 'qkl-sim --paced --crystal 5, program receiving at 80 MHz, %d bytes at %d baud\n' "$bytes" "$rate"
awk -v s="$start" -v e="$end" -v l="$line" -v c=$((after - before)) -v hz="$(getconf CLK_TCK)" 'BEGIN {
  printf "  line time %.3f s, wall %.3f s, qkl-sim CPU %.3f s (%.2f of the line time)\n",
         l, e - s, c / hz, c / hz / l }'
# A reset (the tool's open) stops the program, and the chip logs its emulation time.
"$qkl" -d "$work/port" >/dev/null 2>&1 || true
grep -E "emulated .* of chip time" "$work/chip.log" | tail -n 1 | sed 's/^qkl-sim *[0-9.]* s */  /'
