#!/usr/bin/env bash
# Installs what is missing, builds x64 and x86, and runs every test (x64, under Wine on
# an X display). Prints CTest's closing line.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prepare x64 x86
use_prefix "$top/build/wineprefix"
start_display
ctest --test-dir "$top/build/x64" --output-on-failure
