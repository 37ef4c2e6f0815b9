#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test Cartulane:
# the MinGW-w64 cross compilers and widl, Wine, an X server for tests, a CJK
# font, and the screenshot/automation tools. Packages already present are skipped.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for p in g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools libwine-dev wine wine64 \
         xvfb fonts-wqy-microhei imagemagick xdotool cmake ninja-build googletest xauth; do
  have_pkg "$p" || need+=("$p")
done

if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
