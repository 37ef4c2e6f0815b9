#!/usr/bin/env bash
# Builds, installs the control and the add-in in the demo's Wine prefix (build/demoprefix)
# with Instaldo.exe as a user does (its "注册" pressed, its message answered; its dialog
# kept as build/demo-installer.png, its button mid-fade under the mouse as
# build/demo-fade.png, its message box over it as build/demo-installer-message.png), makes a sample desktop folder "桌面" in
# the prefix's user profile, and starts sheethost, which loads the add-in: its ribbon tab
# with the toggle button and its "Cartulane" pane. One workbook is opened from the
# desktop and one is new. sheethost plays the application of 2016 (--version 16.0, the
# default; give another with --version V): each workbook has a window of its own with its
# ribbon and its pane, and the two windows are placed side by side. With a display it
# stays open; without one it runs on Xvfb, saves build/demo.png (both windows, each with
# its ribbon, pane and workbook), build/demo-popup.png (after a click on a workbook in
# the new workbook's pane and a right-click: the close-workbook pop-up) and
# build/demo-paste.png (Book1.xls copied with 复制 and pasted with 粘贴 into the folder
# "2024 报表", which the tree shows opened with the copy selected), build/demo-opened.png
# (the copy renamed in place with F2 and opened with a double-click: its window, with its
# pane listing it), build/demo-follow.png (a workbook made and a folder renamed by another
# program, shown in every pane; a sheet added in the copy's window), build/demo-progress.png
# (the folder "原始数据" of 3,000 files pasted into "归档": the progress form over the
# pane while the copy runs), build/demo-drag.png ("销售数据.xlsm" dragged with the mouse
# onto the folder "项目 资料": moved there, shown selected in it) and build/demo-hidden.png
# (after one press of one window's toggle:
# the panes of every window hidden, every toggle up), with build/demo-help.png (the help form from the
# pane's 帮助), and ends. It clicks and types as a user does, with
# xdotool; what it clicks it finds by caption (windowpoint, from tests/support), not by
# fixed pixels.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
version=16.0
[ "${1:-}" = --version ] && version=$2
# What the demo runs, not the tests: the deliverables of both architectures and their
# packages, sheethost, and windowpoint, which finds what it clicks.
CARTULANE_TARGETS="Tabrix TabrixAddIn Instaldo package_zip sheethost windowpoint" prepare x64 x86
use_prefix "$top/build/demoprefix"
start_display

bin="$top/build/x64/bin"

# The sample desktop: workbook files, other files and folders, Chinese names among them.
profile=$(winepath -u "$(wine cmd /c 'echo %USERPROFILE%' | tr -d '\r')")
desk="$profile/桌面"
# What an earlier run's other program changed goes back first.
rm -f "$desk/报价单.xlsx"
[ -d "$desk/归档" ] && { rm -rf "$desk/Archive"; mv "$desk/归档" "$desk/Archive"; }
rm -rf "$desk/Archive/原始数据"  # what an earlier run pasted
# What an earlier run dragged into "项目 资料" goes back.
[ -e "$desk/项目 资料/销售数据.xlsm" ] && mv "$desk/项目 资料/销售数据.xlsm" "$desk/"
mkdir -p "$desk/2024 报表" "$desk/项目 资料/草稿" "$desk/Archive" "$desk/项目 资料/原始数据"
# A folder large enough that pasting it takes a while.
if [ "$(ls "$desk/项目 资料/原始数据" | wc -l)" -lt 3000 ]; then
  (cd "$desk/项目 资料/原始数据" && for i in $(seq -w 3000); do : > "记录 $i.xls"; done)
fi
rm -f "$desk/2024 报表/Book1"*  # what an earlier run pasted
for f in "预算 2025.xlsx" "Book1.xls" "销售数据.xlsm" "会议纪要.docx" "notes.txt" \
         "2024 报表/一月.xlsx" "2024 报表/二月.xlsx" "2024 报表/汇总.xls" \
         "项目 资料/计划 v2.xlsx" "项目 资料/说明.txt" "Archive/old.xls"; do
  [ -e "$desk/$f" ] || : > "$desk/$f"
done

# click BUTTON WHAT...: a click with button 1 (left) or 3 (right) at what windowpoint finds;
# BUTTON 2x is a double-click of the left button.
click() {
  local button=$1 at
  shift
  at=$(wine "$bin/windowpoint.exe" "$@" | tr -d '\r') || { echo "not found: $*" >&2; return 1; }
  if [ "$button" = 2x ]; then
    xdotool mousemove ${at% *} ${at#* } click --repeat 2 --delay 120 1
  else
    xdotool mousemove ${at% *} ${at#* } click "$button"
  fi
  sleep 1
}

# answer [TRIES]: Enter on the message box "提示" once it is up (waiting TRIES x 0.3 s).
answer() {
  for _ in $(seq "${1:-20}"); do
    xdotool search --name '^提示$' >/dev/null 2>&1 && break
    sleep 0.3
  done
  xdotool key Return
  for _ in $(seq 20); do
    xdotool search --name '^提示$' >/dev/null 2>&1 || break
    sleep 0.3
  done
  sleep 1
}

# Installed from the build's folder, where Instaldo.exe has both libraries beside it.
wine "$bin/Instaldo.exe" &
for _ in $(seq 60); do
  wine "$bin/windowpoint.exe" window Instaldo 注册 >/dev/null 2>&1 && break
  sleep 0.5
done
import -window "$(xdotool search --name '^Instaldo$' | head -1)" "$top/build/demo-installer.png"
# The mouse comes onto 注册: the button fades to its hot image over 1.3 s; caught on the way.
at=$(wine "$bin/windowpoint.exe" window Instaldo 注册 | tr -d '\r')
xdotool mousemove ${at% *} ${at#* }
sleep 0.35
import -window "$(xdotool search --name '^Instaldo$' | head -1)" "$top/build/demo-fade.png"
click 1 window Instaldo 注册
for _ in $(seq 120); do
  xdotool search --name '^提示$' >/dev/null 2>&1 && break
  sleep 0.3
done
sleep 0.5
import -window root -crop 640x400+320+300 "$top/build/demo-installer-message.png"
answer 120
xdotool key Escape  # closes the dialog, and the program with it
for _ in $(seq 20); do
  xdotool search --name '^Instaldo$' >/dev/null 2>&1 || break
  sleep 0.3
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
# The folder tree's commands: Book1.xls copied and pasted into "2024 报表"; the tree shows
# the copy in the folder, opened.
click 1 item "$new" workbook "预算 2025.xlsx"
click 1 item "$new" folder 桌面 Book1.xls
click 1 window "$new" 复制
answer
click 1 item "$new" folder 桌面 "2024 报表"
click 1 window "$new" 粘贴
answer
import -window root "$top/build/demo-paste.png"
# Renamed in place (F2, the new name, Enter), then opened with a double-click: it comes up
# in a window of its own, whose pane lists it among the open workbooks.
xdotool key F2
sleep 0.5
xdotool type --delay 60 "Book1 copy.xls"
xdotool key Return
sleep 1.5
click 2x item "$new" folder 桌面 "2024 报表" "Book1 copy.xls"
sleep 2
import -window root "$top/build/demo-opened.png"
# Another program at work on the desktop: a workbook made, a folder renamed. Every pane
# shows both within a second. A sheet added in the copy's window ("New sheet") shows in the
# workbook trees.
: > "$desk/报价单.xlsx"
mv "$desk/Archive" "$desk/归档"
if [ "${version%%.*}" -ge 15 ]; then copy="Book1 copy.xls - sheethost"; else copy=sheethost; fi
click 1 window "$copy" "New sheet"
sleep 1.5
import -window root "$top/build/demo-follow.png"
# A long paste: 3,000 files copied into "归档" (the renamed Archive) while the application
# goes on, in the pane of the copy's window (in front); the progress form shows after half
# a second, and the success message at the end.
click 1 item "$copy" folder 桌面 "项目 资料"
xdotool key Right
sleep 1
click 1 item "$copy" folder 桌面 "项目 资料" "原始数据"
click 1 window "$copy" 复制
answer
click 1 item "$copy" folder 桌面 归档
click 1 window "$copy" 粘贴
for _ in $(seq 40); do
  xdotool search --name '^粘贴$' >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 0.5
import -window root "$top/build/demo-progress.png"
answer 300
# Drag and drop: "销售数据.xlsm" dragged with the mouse onto the folder "项目 资料" moves it
# there (one drive: a rename); the tree shows it in the folder, selected.
from=$(wine "$bin/windowpoint.exe" item "$copy" folder 桌面 "销售数据.xlsm" | tr -d '\r')
to=$(wine "$bin/windowpoint.exe" item "$copy" folder 桌面 "项目 资料" | tr -d '\r')
xdotool mousemove ${from% *} ${from#* } mousedown 1
sleep 0.3
for step in 1 2 3 4 5 6 7 8 9 10; do
  xdotool mousemove $(( ${from% *} + (${to% *} - ${from% *}) * step / 10 + 6 )) \
    $(( ${from#* } + (${to#* } - ${from#* }) * step / 10 ))
  sleep 0.1
done
sleep 0.5
xdotool mouseup 1
answer
import -window root "$top/build/demo-drag.png"
# The help form, skinned, from the pane's 帮助; closed with its own 关闭.
click 1 window "$new" 帮助
sleep 0.5
import -window "$(xdotool search --name '^帮助$' | head -1)" "$top/build/demo-help.png"
click 1 window 帮助 关闭
# A left click on the tree sends the pop-up away; then one window's toggle, down while the
# panes are shown: one press hides the panes of every window and raises every toggle.
click 1 item "$new" workbook "预算 2025.xlsx"
click 1 window "$new" "Cartulane目录"
sleep 0.5
import -window root "$top/build/demo-hidden.png"
echo "screenshots: build/demo-installer.png build/demo-fade.png build/demo-installer-message.png build/demo-help.png build/demo.png build/demo-popup.png build/demo-paste.png build/demo-opened.png build/demo-follow.png build/demo-progress.png build/demo-drag.png build/demo-hidden.png"
