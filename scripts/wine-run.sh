#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix (build/wineprefix unless
# WINEPREFIX is set). CTest uses this as the emulator for the test programs.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
[ -f "$WINEPREFIX/.cartulane-ready" ] || "$here/wineprefix.sh" >&2
exec wine "$@"
