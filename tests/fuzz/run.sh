#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a bounded time (seconds, default 20)
# over its committed corpus in corpus/<target>/ and the project's own programs, which seed the
# assembler from where they live. New inputs go to the build directory; a crash
# leaves its input under <build>/artifacts/ and fails the run. Committed crash inputs stay in
# the corpus, so every run replays them first.
#   tests/fuzz/run.sh [seconds]        QKL_FUZZ_BUILD=<dir> to choose the build directory
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
seconds="${1:-20}"
build="${QKL_FUZZ_BUILD:-$root/build/fuzz}"

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DQKL_WERROR=ON >/dev/null
cmake --build "$build" -j2 --target fuzz-options fuzz-image fuzz-replies fuzz-assembler

# target, longest input (the assembler's takes the whole reader program)
targets=("options 512" "image 32768" "replies 1024" "assembler 16384")
failed=()
rm -rf "$build/seeds"
mkdir -p "$build/seeds/assembler"
cp "$root/link/ReaderProgram.spin" "$root"/examples/*.spin "$build/seeds/assembler/"
for entry in "${targets[@]}"; do
  read -r target length <<<"$entry"
  mkdir -p "$build/corpus/$target" "$build/seeds/$target" "$build/artifacts"
  echo "== fuzz-$target for ${seconds}s"
  if ! "$build/fuzz-$target" -max_total_time="$seconds" -max_len="$length" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
      "$build/corpus/$target" "$here/corpus/$target" "$build/seeds/$target" 2>"$build/fuzz-$target.log"; then
    failed+=("$target")
    tail -n 40 "$build/fuzz-$target.log"
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|cov:' "$build/fuzz-$target.log" | tail -n 3
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $build/artifacts)"
  exit 1
fi
echo "fuzzing found nothing"
