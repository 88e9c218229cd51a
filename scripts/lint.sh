#!/usr/bin/env bash
# Checks the house style: clang-format on every C++ file and clang-tidy (.clang-tidy) on every
# translation unit of the programs, using the compile commands of a configured build tree.
#   scripts/lint.sh [build directory]      (default build/default)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/default}"
cd "$root"
[ -f "$build/compile_commands.json" ] || { echo "no $build/compile_commands.json: configure first" >&2; exit 2; }

git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
echo "clang-format: no findings"

# The Windows files are built only by the cross compiler and are not in a Linux build's commands.
mapfile -t units < <(git ls-files 'frontend/*.cpp' 'qkltool/*.cpp' 'console/*.cpp' 'link/*.cpp' 'serial/*.cpp' 'sim/*.cpp' 'tools/*.cpp' |
  grep -v 'Win32\.cpp$')
run-clang-tidy -quiet -j "$(nproc)" -p "$build" "${units[@]/#/$root/}" >"$build/clang-tidy.log" 2>&1 || {
  grep -E '(warning|error):' "$build/clang-tidy.log" >&2 || cat "$build/clang-tidy.log" >&2
  exit 1
}
echo "clang-tidy: no findings in ${#units[@]} files"
