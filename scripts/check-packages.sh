#!/usr/bin/env bash
# Makes the packages and checks what they hold: the Debian package (and what lintian says of
# it) and the tarball from a Linux build folder, and the Windows zip from the mingw preset, built
# with Wine out of reach (a build that ran Wine would fail here).
# Usage: scripts/check-packages.sh [Linux build dir]   (default build/default, already built)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build/default}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Lists of the package's files, one a line, without the leading ./ or top folder.
(cd "$build" && cpack -G "DEB;TGZ" >/dev/null)
deb=$(ls "$build"/qkl_*.deb)
tgz=$(ls "$build"/qkl-*-Linux.tar.gz)
dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./||' | grep -v '/$' | sort >"$work/deb"
tar tzf "$tgz" | sed 's|^[^/]*/||' | grep -v '/$' | grep . | sort >"$work/tgz"

for file in usr/bin/qkl usr/bin/qkl-tool usr/bin/qkl-sim usr/bin/qkl-asm usr/share/man/man1/qkl.1.gz \
    usr/share/man/man1/qkl-tool.1.gz usr/share/man/man1/qkl-sim.1.gz usr/share/man/man1/qkl-asm.1.gz \
    usr/share/doc/qkl/README.md usr/share/doc/qkl/LICENSE usr/share/doc/qkl/copyright \
    usr/share/doc/qkl/changelog.gz usr/share/doc/qkl/60-qkl-propeller.rules \
    usr/share/bash-completion/completions/qkl usr/share/bash-completion/completions/qkl-tool; do
  grep -qx "$file" "$work/deb" || fail "$deb lacks $file"
done
sed 's|^usr/||' "$work/deb" | diff - "$work/tgz" >/dev/null || fail "$tgz and $deb hold different files"
! grep -i 'rom\.hex\|p1-rom' "$work/deb" "$work/tgz" || fail "a package holds the chip's ROM"
dpkg-deb -f "$deb" Package | grep -qx qkl || fail "the Debian package is not named qkl"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "the Debian package's dependencies were not computed"
echo "$(basename "$deb"): $(wc -l <"$work/deb") files; Depends: $(dpkg-deb -f "$deb" Depends)"
# Debian's own checker: an error or a warning fails, its informational tags are only shown.
if command -v lintian >/dev/null; then
  lintian --display-info --fail-on error,warning "$deb" || fail "lintian finds errors or warnings in $deb"
else
  fail "lintian is not installed, the Debian package is not checked"
fi

if command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  mkdir "$work/nowine"
  printf '#!/bin/sh\necho "the Windows build ran wine $*" >&2\nexit 1\n' >"$work/nowine/wine"
  chmod +x "$work/nowine/wine"
  (cd "$root" && export PATH="$work/nowine:$PATH" &&
    cmake --preset mingw >/dev/null && cmake --build --preset mingw >/dev/null &&
    cpack --preset mingw >/dev/null)
  zip=$(ls "$root"/build/mingw/qkl-*-win64.zip)
  cmake -E tar tf "$zip" | sed 's|^[^/]*/||' | grep . | sort >"$work/zip"
  printf '%s\n' LICENSE README.md qkl-tool.exe qkl.exe | sort | diff - "$work/zip" || fail "$zip holds other files"
  echo "$(basename "$zip"): $(tr '\n' ' ' <"$work/zip")"
fi
exit "$failures"
