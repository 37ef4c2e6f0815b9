#!/usr/bin/env bash
# Builds x64 and runs the benchmarks under Wine; they print their ratios.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" x64
export WINEPREFIX="$top/build/wineprefix"
export WINEDEBUG=-all
source "$top/scripts/display.sh"
start_display
[ -f "$WINEPREFIX/.cartulane-ready" ] || "$top/scripts/wineprefix.sh"
wine "$top/build/x64/bin/foldertree_bench.exe"
