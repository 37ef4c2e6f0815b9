#!/usr/bin/env bash
# Installs what is missing, builds x64 and x86, and runs every test (x64, under Wine on
# an X display). Prints CTest's closing line.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$top/scripts/install-deps.sh"
"$top/scripts/build.sh" x64 x86
export WINEPREFIX="$top/build/wineprefix"
export WINEDEBUG=-all
source "$top/scripts/display.sh"
start_display
[ -f "$WINEPREFIX/.cartulane-ready" ] || "$top/scripts/wineprefix.sh"
ctest --test-dir "$top/build/x64" --output-on-failure
