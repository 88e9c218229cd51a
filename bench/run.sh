#!/usr/bin/env bash
# Runs the built qkl against the paced virtual chip (qkl-sim --paced: the line carries the link
# rate in real time and the chip takes its real working times) for each flow at 115200 and
# 230400 baud and prints wall time, qkl's CPU time, its read/write/poll system calls, the line
# time of each direction (its bytes at ten bit times each) and the line-time bound: the longer
# direction (the line is full duplex), plus the reset wait and the chip's own time that the host
# waits through, as the virtual chip's log gives it: its verdicts (from the image's last long to
# the last verdict it answered) and, for the read-back, the reader's time from its start to its
# first answer. The last ratio sets the wall time against the host's own bytes at the line rate,
# the reset wait and the chip's verdicts alone.
# Figures only; nothing here passes or fails on speed.
#   bench/run.sh [build directory [flow...]]   (default build/default and every flow: detection,
#                                              ram-load, eeprom-write, read-back, fast; needs
#                                              targets qkl and qkl-sim, and qkl-tool for fast)
# The flow fast is qkl-tool's fast loader beside qkl (bench/fast.sh): here its short form, which
# CI runs (32 KB, 3000000 baud, 1 ms latency; about a minute and a half); the full table (about
# twelve minutes) with QKL_BENCH_FULL=1 bench/run.sh build/default fast, or bench/fast.sh by hand.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/default}"
flows=("${@:2}")
qkl="$build/frontend/qkl"
sim="$build/sim/qkl-sim"
for program in "$qkl" "$sim"; do
  [ -x "$program" ] || { echo "missing $program: build targets qkl and qkl-sim first" >&2; exit 2; }
done
command -v strace >/dev/null || { echo "strace is not installed: system calls are not counted" >&2; }

work="$(mktemp -d)"
chip=""
cleanup() {
  [ -n "$chip" ] && stop_chip
  rm -rf "$work"
}
trap cleanup EXIT

# A 32 KB image of random content whose header and checksum make it loadable.
random_image() {
  head -c 32768 /dev/urandom >"$work/random.binary"
  printf '\x00\x1b\xb7\x00\x00\x00\x10\x00\x00\x80\x00\x80' |
    dd of="$work/random.binary" conv=notrunc status=none
  printf '\xff\xff\xf9\xff\xff\xff\xf9\xff' | dd of="$work/random.binary" bs=1 seek=32760 conv=notrunc status=none
  local sum
  sum=$(od -An -v -tu1 "$work/random.binary" | awk '{ for (i = 1; i <= NF; i++) s += $i } END { print s % 256 }')
  printf "\\x$(printf %02x $(((256 - sum) % 256)))" | dd of="$work/random.binary" bs=1 seek=5 conv=notrunc status=none
}

# Starts the chip; sets chip (its process) and port (its slave path).
start_chip() {
  : >"$work/chip.out"
  "$sim" --log "$@" >"$work/chip.out" 2>"$work/chip.log" &
  chip=$!
  for _ in $(seq 100); do [ -s "$work/chip.out" ] && break; sleep 0.05; done
  port=$(head -n 1 "$work/chip.out")
}

stop_chip() {
  kill "$chip" 2>/dev/null || true
  wait "$chip" 2>/dev/null || true
  chip=""
}

# Bytes written to and read from the port, and the read/write/poll calls, from a trace.
trace_figures() {
  awk -v port="$1" '
    $0 ~ "openat\\(.*\"" port "\"" { split($0, p, "= "); fd = p[length(p)] + 0 }
    /^[0-9]+ +(read|write)\(/ {
      split($2, c, "("); call = c[1]; split(c[2], a, ","); f = a[1] + 0
      n = $NF + 0
      calls[call]++
      if (fd != "" && f == fd && n > 0) bytes[call] += n
    }
    /^[0-9]+ +(poll|ppoll)\(/ { calls["poll"]++ }
    END { printf "%d %d %d %d %d\n", bytes["write"], bytes["read"], calls["read"], calls["write"], calls["poll"] }
  ' "$2"
}

# The qkl arguments for this port and rate, into the array args.
arguments_for() {
  local port=$1 rate=$2
  shift 2
  args=()
  [ "$rate" = 230400 ] && args=(-f)
  for a in "$@"; do args+=("${a/PORT/$port}"); done
}

# The chip's verdicts as the host waits through them, from the virtual chip's log: from the
# image's last long to the last verdict the chip sent (its working time, and the polls it takes
# to sync on the host's poll bytes before it answers one).
verdict_time() {
  awk '/image longs received/ { start = $2 } / verdict .* pass/ { end = $2 }
       END { print (start != "" && end != "") ? end - start : 0 }' "$work/chip.log"
}

# The reader's time from its start to its first answer, from the virtual chip's log.
sync_time() {
  awk '/first answer .* after the program started/ { ms = $(NF - 5) }
       END { print ms / 1000 }' "$work/chip.log"
}

# flow, rate, qkl arguments (PORT stands for the port). One run is timed; a second one, under
# strace, gives the bytes and the system calls.
measure() {
  local flow=$1 rate=$2 verdicts sync
  shift 2
  if [ ${#flows[@]} -gt 0 ] && [[ " ${flows[*]} " != *" $flow "* ]]; then return; fi
  local timing figures="0 0 - - -"
  start_chip --paced --eeprom "$work/eeprom.bin"
  arguments_for "$port" "$rate" "$@"
  timing=$( { TIMEFORMAT='%3R %3U %3S'; time "$qkl" "${args[@]}" >"$work/qkl.out" 2>&1 || true; } 2>&1 )
  stop_chip
  verdicts=$(verdict_time)
  sync=$(sync_time)
  if command -v strace >/dev/null; then
    start_chip --paced --eeprom "$work/eeprom.bin"
    arguments_for "$port" "$rate" "$@"
    strace -f -qq -e trace=openat,read,write,poll,ppoll -o "$work/trace" "$qkl" "${args[@]}" >/dev/null 2>&1 || true
    figures=$(trace_figures "$port" "$work/trace")
    stop_chip
  fi
  read -r wall user sys <<<"$timing"
  read -r sent received reads writes polls <<<"$figures"
  awk -v flow="$flow" -v rate="$rate" -v wall="$wall" -v user="$user" -v sys="$sys" -v tx="$sent" \
      -v rx="$received" -v verdicts="$verdicts" -v sync="$sync" -v r="$reads" -v w="$writes" -v p="$polls" \
      -v last="$(tail -n 1 "$work/qkl.out" | tr -d '\r')" '
    BEGIN {
      reset = 0.095
      txs = tx * 10 / rate
      rxs = rx * 10 / rate
      bound = (txs > rxs ? txs : rxs) + reset + verdicts + sync
      host = txs + reset + verdicts
      cpu = user + sys
      printf "%-12s %6d %7.2f %7.2f %7.2f %6.3f %6.3f %7.2f %6.3f %6.3f %6.3f %6.2f%% %7d %7d %6s %6s %6s  %s\n", flow,
             rate, wall, txs, rxs, verdicts, sync, bound, wall / bound, wall / host, cpu, 100 * cpu / wall, tx, rx,
             r, w, p, last
    }'
}

random_image
printf "%-12s %6s %7s %7s %7s %6s %6s %7s %6s %6s %6s %7s %7s %7s %6s %6s %6s  %s\n" flow baud wall_s tx_s rx_s \
  verdict_s sync_s bound_s /bound /host cpu_s cpu/wall tx_b rx_b reads writes polls "last line"
for rate in 115200 230400; do
  measure detection "$rate" -d PORT
  measure ram-load "$rate" -d PORT -p 1 "$work/random.binary"
  measure eeprom-write "$rate" -d PORT -p 3 "$work/random.binary"
  measure read-back "$rate" -d PORT -u "$work/dump"
done

if [ ${#flows[@]} -eq 0 ] || [[ " ${flows[*]} " == *" fast "* ]]; then
  echo
  if [ -n "${QKL_BENCH_FULL:-}" ]; then
    bash "$root/bench/fast.sh" "$build"
  else
    bash "$root/bench/fast.sh" --quick "$build"
  fi
fi
