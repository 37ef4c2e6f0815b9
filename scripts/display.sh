# Sourced: gives this shell an X display. Uses $DISPLAY when its server is up, otherwise
# starts Xvfb on a free display number and stops it (and this prefix's Wine) on exit.
start_display() {
  local current=${DISPLAY:-}
  current=${current#*:}
  if [ -n "$current" ] && [ -e "/tmp/.X11-unix/X${current%%.*}" ]; then
    return 0
  fi
  local n=91
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  CARTULANE_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  trap stop_display EXIT
}

stop_display() {
  [ -n "${WINEPREFIX:-}" ] && WINEPREFIX="$WINEPREFIX" wineserver -k >/dev/null 2>&1 || true
  [ -n "${CARTULANE_XVFB_PID:-}" ] && kill "$CARTULANE_XVFB_PID" 2>/dev/null || true
}
