#!/usr/bin/env bash
# The plain Release build as a user makes it, with Clang instead of the presets' GCC and warnings
# as errors, then the tests of the layers, the man pages and the install tree. The end-to-end and
# fault suites, which run the built programs against the virtual chip in real time, are built and
# run in the GCC trees.
# Usage: scripts/clang-build.sh [build dir [programs]]   (default build/clang)
#   programs: only the programs and what installs with them, no tests (what CI builds, beside
#   its other steps, within its time).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/clang}")
part=${2:-all}
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQKL_WERROR=ON >/dev/null
# Every program and what installs with it, and the test programs run here (not those of the
# end-to-end and fault suites).
programs=(tools serial link console frontend qkltool sim examples)
folders=(tests/serial tests/link tests/tools tests/sim tests/frontend tests/cog man dist)
targets=("${programs[@]}")
[ "$part" = programs ] || targets+=("${folders[@]}")
cmake --build "$build" -j2 --target "${targets[@]/%//all}"
[ "$part" = programs ] && exit 0
for folder in "${folders[@]}"; do
  ctest --test-dir "$build/$folder" -j2 --output-on-failure -LE slow
done
