#!/usr/bin/env bash
# Configures and builds the given architectures (x64, x86; both by default) under build/.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
for arch in "${@:-x64 x86}"; do
  for a in $arch; do
    [ -f "$top/build/$a/build.ninja" ] ||
      cmake -S "$top" -B "$top/build/$a" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-$a.cmake" >/dev/null
    cmake --build "$top/build/$a"
  done
done
