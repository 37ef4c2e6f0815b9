#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix (build/wineprefix unless
# WINEPREFIX is set). CTest uses this as the emulator for the test programs.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
use_prefix "${WINEPREFIX:-$top/build/wineprefix}"
exec wine "$@"
