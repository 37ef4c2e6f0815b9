#!/usr/bin/env bash
# Installs what is missing, builds x64 and x86, and runs every test (x64, under Wine on
# X displays). Prints CTest's closing line.
#
# The tests run in two lanes side by side, each a Wine prefix of its own on a display of
# its own (wine-run.sh picks them by the lane CTest gives a test), so that the pointer,
# the focus and the windows of one program never meet the other's. The x86 build is what
# ships: the tests run the x64 programs and read the x86 libraries.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
"$top/scripts/install-deps.sh"

# The prefixes are made ready (the first time) while the build runs: the two lanes', and
# the one of the control's tests at 144 DPI.
lane1=$top/build/wineprefix-lane1
export CARTULANE_PREFIXES=$lane1
mkdir -p "$top/build"
(use_prefix "$top/build/wineprefix") &
(use_prefix "$lane1") &
(CARTULANE_DPI=144 use_prefix "$top/build/wineprefix-144dpi") &
"$top/scripts/build.sh" x64
CARTULANE_TARGETS="Tabrix TabrixAddIn Instaldo package_zip" "$top/scripts/build.sh" x86
wait

use_prefix "$top/build/wineprefix"
start_display
export CARTULANE_LANE0_DISPLAY=$DISPLAY
new_display
export CARTULANE_LANE1_DISPLAY=$new_display_name
ctest --test-dir "$top/build/x64" --output-on-failure -j2 --resource-spec-file "$top/tests/lanes.json"
