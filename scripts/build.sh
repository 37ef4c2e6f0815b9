#!/usr/bin/env bash
# Configures and builds the given architectures (x64, x86; both by default) under build/:
# everything, or the targets named in CARTULANE_TARGETS.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
for arch in "${@:-x64 x86}"; do
  for a in $arch; do
    [ -f "$top/build/$a/build.ninja" ] ||
      cmake -S "$top" -B "$top/build/$a" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-$a.cmake" >/dev/null
    # shellcheck disable=SC2086 # the targets are words
    cmake --build "$top/build/$a" ${CARTULANE_TARGETS:+--target $CARTULANE_TARGETS}
  done
done
