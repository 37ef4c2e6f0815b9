# Sourced by every script: strict mode, the project's folder ($top), Wine's quiet
# output, and the helpers below.
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}

# prepare ARCH...: installs what a fresh machine lacks and builds the architectures.
prepare() {
  "$top/scripts/install-deps.sh"
  "$top/scripts/build.sh" "$@"
}

# use_prefix DIR: the Wine prefix for what follows, made ready on first use, with its drives.
use_prefix() {
  export WINEPREFIX=$1
  [ -f "$WINEPREFIX/.cartulane-ready" ] || "$top/scripts/wineprefix.sh" >&2
  map_drives
}

# map_drives: drive T: is build/testdrive, a real drive root for the tests; drive V: is a
# folder on another file system (the shared-memory one), where a move from T: cannot be a
# rename. V: is left out where no other file system is at hand.
map_drives() {
  local testdrive=$WINEPREFIX/../testdrive
  mkdir -p "$testdrive"
  testdrive=$(cd "$testdrive" && pwd)
  ln -sfn "$testdrive" "$WINEPREFIX/dosdevices/t:"
  local other
  other=/dev/shm/cartulane-$(printf '%s' "$WINEPREFIX" | md5sum | cut -c1-12)
  rm -f "$WINEPREFIX/dosdevices/v:"
  if [ -d /dev/shm ] && [ -w /dev/shm ] && mkdir -p "$other" &&
     [ "$(stat -c %d "$other")" != "$(stat -c %d "$testdrive")" ]; then
    ln -sfn "$other" "$WINEPREFIX/dosdevices/v:"
  fi
}

# start_display: gives this shell an X display. Uses $DISPLAY when its server is up,
# otherwise starts Xvfb on a free display number (new_display) and stops it (and this
# prefix's Wine) when the script ends. Sets headless=1 when it started one.
start_display() {
  headless=0
  local current=${DISPLAY:-}
  current=${current#*:}
  if [ -n "$current" ] && [ -e "/tmp/.X11-unix/X${current%%.*}" ]; then
    return 0
  fi
  headless=1
  new_display
  export DISPLAY=$new_display_name
}

# new_display: starts another Xvfb on a free display number, named in $new_display_name,
# stopped with the others when the script ends.
CARTULANE_XVFB_PIDS=()
new_display() {
  local n=91
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  CARTULANE_XVFB_PIDS+=("$!")
  new_display_name=":$n"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  trap stop_display EXIT
}

# stop_display: stops this script's Wine (the prefixes named in CARTULANE_PREFIXES too)
# and the displays it started.
stop_display() {
  local prefix
  for prefix in ${WINEPREFIX:-} ${CARTULANE_PREFIXES:-}; do
    WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  done
  local pid
  for pid in "${CARTULANE_XVFB_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
}
