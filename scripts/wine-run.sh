#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix (build/wineprefix unless
# WINEPREFIX is set). CTest uses this as the emulator for the test programs. A test given a
# lane (test.sh runs two side by side) runs on that lane's display, and lane 1 in a prefix
# of its own, build/wineprefix-lane1, unless the test names its own prefix.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prefix=${WINEPREFIX:-$top/build/wineprefix}
lane=${CTEST_RESOURCE_GROUP_0_LANES:-}  # "id:1,slots:1"
if [ -n "$lane" ]; then
  lane=${lane#id:}
  lane=${lane%%,*}
  display=CARTULANE_LANE${lane}_DISPLAY
  [ -n "${!display:-}" ] && export DISPLAY=${!display}
  [ "$lane" != 0 ] && [ "$prefix" = "$top/build/wineprefix" ] && prefix=$top/build/wineprefix-lane$lane
fi
use_prefix "$prefix"
exec wine "$@"
