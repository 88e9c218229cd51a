#!/usr/bin/env bash
# The plain Release build as a user makes it, with Clang instead of the presets' GCC, warnings
# as errors, and the suite without its long tests.
# Usage: scripts/clang-build.sh [build dir]   (default build/clang)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/clang}")
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQKL_WERROR=ON >/dev/null
cmake --build "$build" -j2
ctest --test-dir "$build" -j2 --output-on-failure -LE long
