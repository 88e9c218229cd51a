#!/usr/bin/env bash
# Builds the tool and the virtual chip, starts the virtual chip with a fresh EEPROM file,
# writes the example image into that EEPROM with `qkl -p 3`, then stops the virtual chip.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default --target qkl qkl-sim example_image

bin=build/default
work=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT

"$bin/sim/qkl-sim" --eeprom "$work/eeprom.bin" --link "$work/port" --log 2>"$work/chip.log" &
sim=$!
for _ in $(seq 100); do [ -e "$work/port" ] && break; sleep 0.05; done

echo "\$ qkl -d $work/port -p 3 example.binary"
status=0
"$bin/frontend/qkl" -d "$work/port" -p 3 "$bin/examples/example.binary" || status=$?
echo "(exit code $status)"
echo
echo "What the virtual chip saw:"
sed 's/^/  /' "$work/chip.log"
cmp -n "$(stat -c %s "$bin/examples/example.binary")" "$bin/examples/example.binary" "$work/eeprom.bin" \
  && echo "The EEPROM file now begins with the example image."
exit "$status"
