#!/usr/bin/env bash
# The plain Release build as a user makes it, with Clang instead of the presets' GCC and warnings
# as errors, then the tests of the layers, the man pages and the install tree. The end-to-end and
# fault suites, which run the built programs against the virtual chip in real time, run in the
# GCC trees.
# Usage: scripts/clang-build.sh [build dir]   (default build/clang)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/clang}")
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQKL_WERROR=ON >/dev/null
cmake --build "$build" -j2
for folder in tests/serial tests/link tests/tools tests/sim tests/frontend tests/cog man dist; do
  ctest --test-dir "$build/$folder" -j2 --output-on-failure -LE slow
done
