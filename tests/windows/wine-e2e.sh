#!/usr/bin/env bash
# qkl.exe under Wine against the virtual chip, through a Wine COM port linked to the chip's
# pseudo-terminal: line ends, program path, detection with its reset pulse, a RAM load, an
# EEPROM write, an adapter pulled out during a load and a read-back; and qkl-tool.exe's help, a
# missing port, a RAM load that leaves its reset line on, and a read reset by RTS. Run by scripts/wine-tests.sh, which prepares
# Wine. The read-back runs when the Linux qkl can read the virtual chip back, and must match it.
# Usage: wine-e2e.sh <qkl.exe> <Linux qkl> <qkl-sim> <image> <modem-line library> <work dir> <qkl-tool.exe>
set -uo pipefail
qkl=$1 native_qkl=$2 sim=$3 image=$4 modem=$5 work=$6 tool=$7
port=COM5
link=$WINEPREFIX/dosdevices/${port,,}
passed=0 failed=0

pass() { echo "PASS $1"; passed=$((passed + 1)); }
fail() { echo "FAIL $1: $2"; failed=$((failed + 1)); }

# Runs qkl.exe (or with run_tool qkl-tool.exe) with the modem lines, leaving its output in
# $work/out and $work/err and its exit code in $rc.
run_program() {
  rc=0
  LD_PRELOAD=$modem QKL_MODEM_LOG=$work/modem.log timeout 120 wine "$@" >"$work/out" 2>"$work/err" || rc=$?
}
run() { run_program "$qkl" "$@"; }
run_tool() { run_program "$tool" "$@"; }

expect_exit() {  # name, expected code
  if [ "$rc" -eq "$2" ]; then pass "$1"; else fail "$1" "exit code $rc, output: $(tr -d '\r' <"$work/out" | tail -3)"; fi
}

expect_line() {  # name, line that must appear (without its CR LF)
  if grep -qxF -- "$2"$'\r' "$work/out"; then pass "$1"; else fail "$1" "no line '$2' in: $(tr -d '\r' <"$work/out")"; fi
}

# The reset line (DTR or RTS) must have gone from off to on and, for a pulse, off again at
# least 2 ms later, or, held, never off again; the other line must not move during the reset.
expect_reset() {  # name, line, pulse|held
  if awk -v line="$2" -v held="$([ "$3" = held ] && echo 1 || echo 0)" '
    { t[NR] = $1; on[NR] = (line == "DTR" ? $2 : $3) ~ /=1$/; other[NR] = (line == "DTR" ? $3 : $2) }
    END {
      for (i = 2; i <= NR && !rise; i++) if (!on[i - 1] && on[i]) rise = i
      if (!rise) exit 1
      for (i = rise + 1; i <= NR && !fall; i++) if (!on[i]) fall = i
      for (i = rise; i <= (fall ? fall : rise); i++) if (other[i] != other[rise - 1]) exit 1
      exit held ? fall != 0 : !(fall && t[fall] - t[rise] >= 2)
    }' "$work/modem.log"; then
    pass "$1"
  else
    fail "$1" "modem log: $(tr '\n' ' ' <"$work/modem.log")"
  fi
}

start_chip() {  # further qkl-sim options
  rm -f "$link"
  "$sim" --eeprom "$work/eeprom.bin" --link "$link" "$@" 2>"$work/chip.log" >/dev/null &
  chip=$!
  for _ in $(seq 200); do [ -e "$link" ] && return 0; sleep 0.05; done
  echo "the virtual chip did not start: $(cat "$work/chip.log")"
  return 1
}

stop_chip() {
  kill "$chip" 2>/dev/null
  wait "$chip" 2>/dev/null
}

run -v
banner=$'Orlas Quillkit Loader v0.07-pre1\r\nCompiled for i386 Win32 at 13:24:16 on 2010/04/28\r\n'
if [ "$(cat "$work/out"; echo .)" = "$banner." ]; then pass "banner ends its lines with CR LF"; else
  fail "banner ends its lines with CR LF" "$(od -c "$work/out" | head -5)"; fi

run -x
first=$(head -1 "$work/out")
if [[ $first == [A-Z]:\\*qkl.exe": illegal option -- x"$'\r' ]]; then pass "messages begin with the module path"; else
  fail "messages begin with the module path" "$first"; fi
expect_exit "an unknown option ends with 1" 1

run -d COM9
expect_exit "a port that does not exist finds no chip" 100

run_tool --help
expect_exit "qkl-tool --help ends with 0" 0
expect_line "qkl-tool --help shows its usage" "Usage: qkl-tool [OPTIONS] SUBCOMMAND"
run_tool load --port COM9 "$(winepath -w "$image")"
expect_exit "qkl-tool on a port that does not exist ends with 112" 112

start_chip || exit 1
trap stop_chip EXIT

rm -f "$work/modem.log"
run -d "$port"
expect_exit "detection ends with 0" 0
expect_line "detection reports the chip" "Propeller Version 1 Found!"
expect_reset "detection pulses DTR for the reset" DTR pulse

run -d "$port" "$(winepath -w "$image")"
expect_exit "a RAM load ends with 0" 0

rm -f "$work/modem.log"
run_tool load --port "$port" "$(winepath -w "$image")"
expect_exit "a RAM load with qkl-tool ends with 0" 0
# The load leaves DTR on for a terminal after it (an open turns it on, and resets the board
# where it was off).
expect_reset "qkl-tool load turns DTR on for the reset and leaves it on" DTR held

rm -f "$work/modem.log"
run_tool read --port "$port" --reset rts "$(winepath -w "$work/rts.eeprom")"
expect_exit "a read with qkl-tool reset by RTS ends with 0" 0
expect_reset "--reset rts pulses RTS and leaves DTR" RTS pulse

run -d "$port" -p 2 "$(winepath -w "$image")"
expect_exit "an EEPROM write ends with 0" 0
if cmp -s -n "$(stat -c %s "$image")" "$image" "$work/eeprom.bin"; then pass "the EEPROM holds the image"; else
  fail "the EEPROM holds the image" "the chip's EEPROM file differs"; fi

# An adapter pulled out while the chip programs its EEPROM: from then on the modem status cannot
# be read, and the chip's programming verdict wakes the pending wait, which fails. The user must
# see what the Linux qkl shows when its adapter hangs up during a load.
stop_chip
"$sim" --instant --close-after 500 >"$work/hangup.port" 2>/dev/null &
hangup=$!
for _ in $(seq 100); do [ -s "$work/hangup.port" ] && break; sleep 0.05; done
"$native_qkl" -d "$(head -1 "$work/hangup.port")" -p 2 "$image" >"$work/hangup.raw" 2>"$work/hangup.err"
native_rc=$?
tr -d '\r' <"$work/hangup.raw" >"$work/hangup.out"  # line ends are compared elsewhere
kill "$hangup" 2>/dev/null
wait "$hangup" 2>/dev/null
start_chip --log || exit 1
pulled=$work/adapter-pulled
rm -f "$pulled"
(
  for _ in $(seq 400); do grep -q "verdict RAM checksum pass" "$work/chip.log" 2>/dev/null && break; sleep 0.05; done
  touch "$pulled"
) &
watcher=$!
QKL_MODEM_FAIL=$pulled run -d "$port" -p 2 "$(winepath -w "$image")"
wait "$watcher"
rm -f "$pulled"
tr -d '\r' <"$work/out" >"$work/pulled.out"
tr -d '\r' <"$work/err" >"$work/pulled.err"
if [ "$rc" -eq "$native_rc" ] && cmp -s "$work/pulled.out" "$work/hangup.out" &&
  cmp -s "$work/pulled.err" "$work/hangup.err"; then
  pass "a pulled-out adapter ends the load as a hang-up does on Linux"
else
  fail "a pulled-out adapter ends the load as a hang-up does on Linux" "exit code $rc (Linux $native_rc); \
$(diff "$work/hangup.out" "$work/pulled.out"; diff "$work/hangup.err" "$work/pulled.err")"
fi
stop_chip
start_chip || exit 1

rm -f "$work/native.eeprom" "$work/readback.eeprom"
if ! "$native_qkl" -d "$link" -u "$work/native.eeprom" >"$work/native.out" 2>&1; then
  echo "SKIP read-back: the Linux qkl cannot read the virtual chip back either: $(tail -1 "$work/native.out")"
else
  run -d "$port" -u "$(winepath -w "$work/readback.eeprom")"
  expect_exit "a read-back ends with 0" 0
  expect_line "a read-back reports success" "All good!"
  if cmp -s "$work/readback.eeprom" "$work/native.eeprom"; then pass "the read-back file matches Linux's"; else
    fail "the read-back file matches Linux's" "$(cmp "$work/readback.eeprom" "$work/native.eeprom" 2>&1)"; fi
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
