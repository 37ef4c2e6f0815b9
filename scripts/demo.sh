#!/usr/bin/env bash
# Builds, registers the control and the add-in in the demo's Wine prefix
# (build/demoprefix) with the system's regsvr32, makes a sample desktop folder "桌面" in
# the prefix's user profile, and starts sheethost, which loads the add-in: its ribbon tab
# with the toggle button and its "Cartulane" pane. One workbook is opened from the
# desktop and one is new. With a display it stays open; without one it runs on Xvfb,
# saves build/demo.png (ribbon, pane and workbooks) and build/demo-popup.png (after a
# click on a workbook and a right-click: the close-workbook pop-up) and build/demo-hidden.png
# (after two presses of the ribbon's toggle: the pane hidden), and ends. What it clicks
# it finds by caption (windowpoint, from tests/support), not by fixed pixels.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
prepare x64 x86
use_prefix "$top/build/demoprefix"
start_display

bin="$top/build/x64/bin"
wine regsvr32 /s "$(winepath -w "$bin/Tabrix.ocx")"
wine regsvr32 /s "$(winepath -w "$bin/TabrixAddIn.dll")"

# The sample desktop: workbook files, other files and folders, Chinese names among them.
profile=$(winepath -u "$(wine cmd /c 'echo %USERPROFILE%' | tr -d '\r')")
desk="$profile/桌面"
mkdir -p "$desk/2024 报表" "$desk/项目 资料/草稿" "$desk/Archive"
for f in "预算 2025.xlsx" "Book1.xls" "销售数据.xlsm" "会议纪要.docx" "notes.txt" \
         "2024 报表/一月.xlsx" "2024 报表/二月.xlsx" "2024 报表/汇总.xls" \
         "项目 资料/计划 v2.xlsx" "项目 资料/说明.txt" "Archive/old.xls"; do
  [ -e "$desk/$f" ] || : > "$desk/$f"
done

args=(--open "$(winepath -w "$desk/预算 2025.xlsx")" --new)
if [ "$headless" = 0 ]; then
  exec wine "$bin/sheethost.exe" "${args[@]}"
fi

# click BUTTON WHAT...: a click with button 1 (left) or 3 (right) at what windowpoint finds.
click() {
  local button=$1 at
  shift
  at=$(wine "$bin/windowpoint.exe" "$@" | tr -d '\r') || { echo "not found: $*" >&2; return 1; }
  xdotool mousemove ${at% *} ${at#* } click "$button"
  sleep 1
}

wine "$bin/sheethost.exe" "${args[@]}" &
for _ in $(seq 60); do
  wine "$bin/windowpoint.exe" item sheethost workbook "预算 2025.xlsx" >/dev/null 2>&1 && break
  sleep 0.5
done
sleep 1
import -window root "$top/build/demo.png"
# A click on the first workbook of the lower tree, then the right button on it.
click 1 item sheethost workbook "预算 2025.xlsx"
click 3 item sheethost workbook "预算 2025.xlsx"
sleep 0.5
import -window root "$top/build/demo-popup.png"
# A left click on the tree sends the pop-up away; then the ribbon's toggle, twice: the first
# press leaves the shown pane, the second hides it.
click 1 item sheethost workbook "预算 2025.xlsx"
click 1 window sheethost "Cartulane目录"
click 1 window sheethost "Cartulane目录"
sleep 0.5
import -window root "$top/build/demo-hidden.png"
echo "screenshots: build/demo.png build/demo-popup.png build/demo-hidden.png"
