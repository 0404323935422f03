#!/usr/bin/env bash
# Makes docs/screenshot.png: the main window of the built Varnelpad with a few
# categories, pending and done notes and the skin "蓝色商务", entered through
# the window the way a user does it, on a private X server.
#   tools/screenshot.sh [build dir] [output file]
# Defaults: build and docs/screenshot.png under the source folder. Needs
# Xvfb, xdotool and import (imagemagick); the notebook's data lives in a
# temporary program folder that is removed afterwards.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(cd "${1:-$ROOT/build}" && pwd)
OUT=${2:-$ROOT/docs/screenshot.png}
APP=$BUILD/app
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done
[ -x "$APP/Varnelpad" ] && [ -x "$BUILD/tools/varnel-provision" ] ||
  { echo "build Varnelpad and varnel-provision in $BUILD first" >&2; exit 1; }

WORK=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# A private X server on the first free display from :150.
display=""
for n in $(seq 150 199); do
  if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

# The program folder: Varnelpad beside a fresh data folder.
PROGRAM=$WORK/program
mkdir -p "$PROGRAM" "$WORK/config" "$WORK/runtime"
chmod 700 "$WORK/runtime"
cp "$APP/Varnelpad" "$PROGRAM/"
export XDG_CONFIG_HOME=$WORK/config XDG_RUNTIME_DIR=$WORK/runtime QT_QPA_PLATFORM=xcb
"$BUILD/tools/varnel-provision" "$PROGRAM" >/dev/null

site=$(sed -n 's/^VARNEL_SITE_URL:[A-Z]*=//p' "$BUILD/CMakeCache.txt" 2>/dev/null || true)
site=${site:-http://127.0.0.1:47810}
if curl -s -o /dev/null --max-time 2 "$site/update.asp"; then
  echo "note: $site answers, so the help line shows the site's notices" >&2
fi

"$PROGRAM/Varnelpad" >"$WORK/varnelpad.log" 2>&1 &
pids+=($!)

TITLE='^Varnelpad v1\.1\.2$'
window_sized() { # window_sized WIDTHxHEIGHT: the program's window of that size
  local w
  for _ in $(seq 200); do
    for w in $(xdotool search --onlyvisible --name "$TITLE" 2>/dev/null); do
      [ "$(xdotool getwindowgeometry "$w" | sed -n 's/.*Geometry: //p')" = "$1" ] && {
        echo "$w"
        return
      }
    done
    sleep 0.1
  done
  echo "no $1 window" >&2
  exit 1
}
wait_title() { # wait_title REGEX: a visible window with that title
  xdotool search --sync --onlyvisible --name "$1" | head -1
}
click() { # click X Y [BUTTON] in the main window
  xdotool mousemove --window "$MAIN" "$1" "$2" click "${3:-1}"
  sleep 0.3
}
type_text() {
  xdotool type --delay 40 "$1"
  sleep 0.2
}

# Log in with the empty password.
login=$(window_sized 375x185)
xdotool windowfocus --sync "$login" key Return
MAIN=$(window_sized 455x418)
sleep 1

# The skin "蓝色商务", the first entry of the skin menu.
click 388 11
xdotool key Down Return
sleep 0.5

# Categories, added from the tree's menu on "所有记事".
add_category() {
  click 100 248
  click 100 248 3
  xdotool key Down Return
  local box
  box=$(wait_title '^增加分类$')
  xdotool windowfocus --sync "$box"
  type_text "$1"
  xdotool key Return
  sleep 0.5
}
add_category "工作"
add_category "会议"
add_category "生活"

# Notes: the title, then the body line by line; F1 saves. A saved note comes
# first in the list, where "完成" can mark it done.
LIST_ROW1=271 # centre of the list's first row; rows are 18 pixels apart
ROW=18
note() { # note DONE TITLE LINE...
  local done=$1 title=$2
  shift 2
  click 180 51
  type_text "$title"
  click 380 90
  local first=1
  for line in "$@"; do
    [ $first = 1 ] || xdotool key Return
    first=0
    type_text "$line"
  done
  xdotool key F1
  sleep 1.2 # the "saved" bubble
  if [ "$done" = done ]; then
    click 300 $LIST_ROW1
    click 113 218
  fi
}
category() { # category N: selects the N-th category of the tree
  click 100 $((248 + 17 * $1))
}

category 1
note done "客户回访名单" "张经理、王总本周五前回访" "整理反馈意见"
note pending "季度销售目标整理" "汇总各区域上报数据" "周三前交给财务部"
category 2
note done "项目启动会要点" "明确分工和时间节点"
note pending "周一部门例会纪要" "1. 上周工作总结" "2. 本周重点：新品发布准备" "3. 周五前提交费用报销"
category 3
note done "周末体检预约" "上午八点空腹到医院"
note pending "交物业费和水电费" "月底前在手机上缴清"
click 272 218 # "所有信息": all notes, outside any category
note pending "购买办公用品清单" "打印纸、签字笔、文件夹"

# Every note in the list under "所有记事", the meeting notes in the editor.
click 100 248
click 272 218
click 300 $((LIST_ROW1 + 2 * ROW))
xdotool mousemove --window "$MAIN" 200 10
sleep 2.5 # the list's tooltip fades
mkdir -p "$(dirname "$OUT")"
import -window "$MAIN" "$OUT"
echo "$OUT"
