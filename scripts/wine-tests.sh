#!/usr/bin/env bash
# The Windows build under Wine: cross-compiles qkl.exe, qkl-tool.exe and the Windows unit tests
# with MinGW-w64, runs the unit tests under Wine against pseudo-terminal test ports, and drives
# qkl.exe and qkl-tool.exe against the virtual chip through a Wine COM port.
# Usage: scripts/wine-tests.sh [native build dir]
#   The native build dir (default build/default) provides qkl, qkl-sim and the example image.
#   The Windows build and its Wine prefix go to build/windows (QKL_WINDOWS_BUILD overrides).
# Needs the Debian packages mingw-w64, wine, wine64 and googletest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath -m "${1:-$root/build/default}")
work=$(realpath -m "${QKL_WINDOWS_BUILD:-$root/build/windows}")

export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX" "$work/run"

peers=()
cleanup() {
  for pid in "${peers[@]}"; do kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

# A persistent server of our own, whose diagnostics (an object dump when it stops) go to
# wineserver.log rather than into a test's output. Wine's background services start here too:
# they keep the descriptors of the process that started them, and a test runner would wait
# for them to close its pipes.
wineserver -p >"$work/wineserver.log" 2>&1
if [ -f "$WINEPREFIX/system.reg" ]; then boot=(wine cmd /c exit); else boot=(wineboot -i); fi
"${boot[@]}" </dev/null >/dev/null 2>&1

cmake -S "$root/tests/windows/host" -B "$work/host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQKL_WERROR=ON >/dev/null
cmake --build "$work/host"
cmake -S "$root/tests/windows" -B "$work/cross" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DQKL_WERROR=ON \
  -DCMAKE_CROSSCOMPILING_EMULATOR="$(command -v wine)" >/dev/null
cmake --build "$work/cross" -j2
[ -f "$native/CMakeCache.txt" ] ||
  cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQKL_WERROR=ON >/dev/null
cmake --build "$native" --target qkl qkl-sim example_image

# Test ports: COM21 echoes every byte, COM22 never reads. The modem-line library gives their
# output queues a transmitter: COM21's sends at the line rate, COM22's never sends.
start_peer() {  # port, peer options
  local link=$WINEPREFIX/dosdevices/${1,,}
  "$work/host/qkl-wine-peer" "${@:2}" "$link" >/dev/null &
  peers+=($!)
  for _ in $(seq 100); do [ -L "$link" ] && return 0; sleep 0.05; done
  echo "test port $1 did not come up" >&2
  return 1
}
start_peer COM21
start_peer COM22 --mute
# A port's driver enters it in the registry's map of serial ports; Wine does so only for the
# /dev/ttyS* it finds at its start, so the test ports are entered as a driver would.
for port in COM21 COM22; do
  wine reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "\\Device\\Qkl$port" /d "$port" /f </dev/null >/dev/null 2>&1
done

modem=$work/host/qkl-wine-modem.so
LD_PRELOAD=$modem QKL_MODEM_LOG=$work/run/unit-modem.log \
  QKL_PACED_LINE=$WINEPREFIX/dosdevices/com21 QKL_STALLED_LINE=$WINEPREFIX/dosdevices/com22 \
  QKL_TEST_ECHO_PORT=COM21 QKL_TEST_MUTE_PORT=COM22 \
  ctest --test-dir "$work/cross" --output-on-failure

"$root/tests/windows/wine-e2e.sh" "$work/cross/qkl/frontend/qkl.exe" "$native/frontend/qkl" "$native/sim/qkl-sim" \
  "$native/examples/example.binary" "$modem" "$work/run" "$work/cross/qkl/qkltool/qkl-tool.exe"
