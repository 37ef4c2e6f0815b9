#!/usr/bin/env bash
# Builds, registers the control and the add-in in the demo's Wine prefix
# (build/demoprefix) with the system's regsvr32, makes a sample desktop folder "桌面" in
# the prefix's user profile, and starts sheethost, which loads the add-in: its ribbon tab
# with the toggle button and its "Cartulane" pane. One workbook is opened from the
# desktop and one is new. sheethost plays the application of 2016 (--version 16.0, the
# default; give another with --version V): each workbook has a window of its own with its
# ribbon and its pane, and the two windows are placed side by side. With a display it
# stays open; without one it runs on Xvfb, saves build/demo.png (both windows, each with
# its ribbon, pane and workbook), build/demo-popup.png (after a click on a workbook in
# the new workbook's pane and a right-click: the close-workbook pop-up) and
# build/demo-hidden.png (after two presses of one window's toggle: the panes of both
# windows hidden), and ends. What it clicks it finds by caption (windowpoint, from
# tests/support), not by fixed pixels.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
version=16.0
[ "${1:-}" = --version ] && version=$2
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

args=(--version "$version" --open "$(winepath -w "$desk/预算 2025.xlsx")" --new --arrange vertical)
# The windows' titles: from 15.0 on each workbook's window has its workbook's name.
if [ "${version%%.*}" -ge 15 ]; then
  opened="预算 2025.xlsx - sheethost" new="Book1 - sheethost"
else
  opened=sheethost new=sheethost
fi
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
  wine "$bin/windowpoint.exe" item "$new" workbook "Book1" >/dev/null 2>&1 &&
    wine "$bin/windowpoint.exe" item "$opened" workbook "Book1" >/dev/null 2>&1 && break
  sleep 0.5
done
sleep 1
import -window root "$top/build/demo.png"
# In the new workbook's pane: a click on the opened workbook (its window comes to the
# front), then the right button on it.
click 1 item "$new" workbook "预算 2025.xlsx"
click 3 item "$new" workbook "预算 2025.xlsx"
sleep 0.5
import -window root "$top/build/demo-popup.png"
# A left click on the tree sends the pop-up away; then one window's toggle, twice: the first
# press leaves the shown panes, the second hides the panes of every window.
click 1 item "$new" workbook "预算 2025.xlsx"
click 1 window "$new" "Cartulane目录"
click 1 window "$new" "Cartulane目录"
sleep 0.5
import -window root "$top/build/demo-hidden.png"
echo "screenshots: build/demo.png build/demo-popup.png build/demo-hidden.png"
