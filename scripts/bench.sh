#!/usr/bin/env bash
# Builds x64 and runs the benchmarks under Wine; they print their ratios.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prepare x64
use_prefix "$top/build/wineprefix"
start_display
for bench in foldertree foldercopydelete folderexpand folderwatch skinpaint; do
  echo "== $bench"
  wine "$top/build/x64/bin/${bench}_bench.exe"
done
