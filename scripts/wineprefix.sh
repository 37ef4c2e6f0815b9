#!/usr/bin/env bash
# Prepares the project's Wine prefix: created once, CJK font replacements so that
# Chinese captions render, drives T: and V: mapped (map_drives in common.sh), and the
# screen's DPI when CARTULANE_DPI is set (144 is 150 %).
# Safe to run again.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix}
mkdir -p "$WINEPREFIX"
WINEPREFIX=$(cd "$WINEPREFIX" && pwd)

# No Mono or Gecko download prompts, no desktop menu entries.
WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d" wineboot -i >/dev/null 2>&1 || true
wineserver -w

reg=$(mktemp --suffix=.reg)
cat > "$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"SimSun"="WenQuanYi Micro Hei"
"Tahoma"="WenQuanYi Micro Hei"
"MS Shell Dlg"="WenQuanYi Micro Hei"
"MS Shell Dlg 2"="WenQuanYi Micro Hei"
"MS Sans Serif"="WenQuanYi Micro Hei"
"Segoe UI"="WenQuanYi Micro Hei"

[HKEY_CURRENT_USER\Software\Wine\DllOverrides]
"winemenubuilder.exe"=""

; No window manager runs on Xvfb: windows left unmanaged are shown and hidden at once,
; where a managed one waits two seconds for a manager to answer.
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
if [ -n "${CARTULANE_DPI:-}" ]; then
  dpi=$(printf '%08x' "$CARTULANE_DPI")
  cat >> "$reg" <<REG

[HKEY_CURRENT_USER\Control Panel\Desktop]
"LogPixels"=dword:$dpi

[HKEY_CURRENT_CONFIG\Software\Fonts]
"LogPixels"=dword:$dpi
REG
fi
wine regedit "$reg" >/dev/null 2>&1
rm -f "$reg"
wineserver -w

map_drives
touch "$WINEPREFIX/.cartulane-ready"
