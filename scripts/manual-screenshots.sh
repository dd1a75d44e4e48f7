#!/bin/sh
# Takes the screenshots of the manual (docs/manual/images/) from the real
# window of build/src/app/korrin, run on a virtual X display with sample
# workbooks in a temporary folder. Needs xvfb, xdotool, imagemagick,
# fonts-noto-cjk and /usr/bin/python3 with openpyxl and xlwt.
#   ./scripts/manual-screenshots.sh
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
program="$repo/build/src/app/korrin"
images="$repo/docs/manual/images"
[ -x "$program" ] || { echo "build korrin first" >&2; exit 1; }
for tool in xvfb-run xdotool import convert; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 1; }
done

if [ "${1:-}" != --inside ]; then
    exec xvfb-run -a -s "-screen 0 1100x640x24" "$0" --inside
fi

# A fixed folder, so that the paths the pictures show read well.
work=/tmp/korrin-manual
rm -rf "$work"
pid=""
trap 'if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi; rm -rf "$work"' EXIT
mkdir -p "$work/报表/子目录" "$work/home"
cd "$work/报表"

# The sample workbooks and the two list files.
/usr/bin/python3 - "$work" <<'PY'
import os, sys
import openpyxl, xlwt
root = sys.argv[1]
books = os.path.join(root, "报表")

def xlsx(name, rows):
    wb = openpyxl.Workbook()
    for row in rows:
        wb.active.append(row)
    wb.save(os.path.join(books, name))

xlsx("三季度销售.xlsx", [["分公司", "负责人", "销售额"], ["北京分公司", "张经理", 1200], ["上海分公司", "王经理", 980]])
xlsx("客户名单.xlsx", [["客户", "联系人"], ["北京分公司", "张经理"]])
xlsx("子目录/年度汇总.xlsx", [["北京分公司", 2023]])
sheet = xlwt.Workbook()
ws = sheet.add_sheet("价格")
for r, row in enumerate([["产品", "价格"], ["北京分公司专供", "100"]]):
    for c, v in enumerate(row):
        ws.write(r, c, v)
sheet.save(os.path.join(books, "价格表.xls"))
with open(os.path.join(books, "损坏的表.xlsx"), "wb") as f:
    f.write(b"PK\x03\x04 this is no workbook")

files = [os.path.join(books, n) for n in ("三季度销售.xlsx", "客户名单.xlsx", "价格表.xls", "损坏的表.xlsx", "已删除的表.xlsx")]
wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Tarvo方式一_文件列表"
for f in files:
    ws.append([f])
ws = wb.create_sheet("Tarvo方式一_关键字列表")
for row in [["被替换关键字:", "欲替换为:"], ["北京分公司|京分公司", "华北分公司"], ["张经理", "李经理"]]:
    ws.append(row)
wb.save(os.path.join(root, "mode1.xlsx"))

wb = openpyxl.Workbook()
ws = wb.active
ws.title = "Tarvo方式二_替换文件列表"
ws.append(["关键字或位置"] + files[:4])
ws.append(["华北分公司", "华北一部", "北方大区", "华北", "华北"])
ws.append(["李经理", "李总", "赵经理", "", "李总"])
wb.save(os.path.join(root, "mode2.xlsx"))
PY

export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" LANG=C.UTF-8
"$program" &
pid=$!
window=$(xdotool search --sync --name "Korrin V")
xdotool windowmove "$window" 0 0 windowsize "$window" 1100 640
xdotool windowfocus --sync "$window" 2>/dev/null || true
sleep 1

shot() { sleep 0.8; import -window root "$images/$1.png"; }
keys() { xdotool key --delay 80 "$@"; sleep 0.6; }
# Keys for the main window. With no window manager the input focus is not
# given back to it when a dialog closes.
window_keys() { xdotool windowfocus "$window"; sleep 0.3; keys "$@"; }
# Types a file name into the file dialog that is open and accepts it.
answer() { sleep 0.8; xdotool type --delay 20 "$1"; keys Return; }
# A point of the window, found in the first screenshots.
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.6; }

mkdir -p "$images"
shot start

window_keys ctrl+i
answer "$work/mode1.xlsx"
shot mode1-filled

window_keys alt+t           # the Tools menu
shot tools-menu
keys Escape Escape

window_keys F5              # a preview of the run, which changes nothing
xdotool search --sync --name "预览替换" >/dev/null
sleep 1
shot preview
xdotool windowfocus "$(xdotool search --name "预览替换" | head -1)" 2>/dev/null || true
keys Escape

window_keys ctrl+shift+h
sleep 3
shot mode1-done
convert "$images/mode1-done.png" -crop 1100x30+0+584 +repage "$images/options.png"
convert "$images/mode1-done.png" -crop 560x24+0+616 +repage "$images/status.png"

xdotool windowfocus "$window"
for y in 140 170 200 222; do  # down the list onto the fourth row, the damaged workbook
    xdotool mousemove 60 "$y"
    sleep 0.3
done
sleep 1
shot mode1-hover
for y in 200 170 140; do    # back up onto the first row, which was backed up
    xdotool mousemove 60 "$y"
    sleep 0.3
done
sleep 1
shot backup-tip

window_keys F6              # the record of the run
xdotool search --sync --name "更改记录" >/dev/null
sleep 1
shot changelog
xdotool windowfocus "$(xdotool search --name "更改记录" | head -1)" 2>/dev/null || true
keys Escape

window_keys F8              # the runs to undo; cancelled
xdotool search --sync --name "撤销替换" >/dev/null
sleep 1
shot undo
xdotool windowfocus "$(xdotool search --name "撤销替换" | head -1)" 2>/dev/null || true
keys Escape

window_keys ctrl+p
sleep 1
shot add-folder
keys Escape

click 205 598               # the sheet box
shot sheet-box
keys Escape

click 92 44                 # the 方式2 tab
window_keys ctrl+i
answer "$work/mode2.xlsx"
shot mode2-filled
window_keys ctrl+shift+h
sleep 3
shot mode2-done

xdotool mousemove 400 76    # onto the red header of the damaged workbook
sleep 0.4
xdotool mousemove 417 77
sleep 1.5
shot mode2-hover

# F1: with no help.chm and no browser here, the manual in the help window.
window_keys F1
help=$(xdotool search --sync --name "Korrin 说明文档" | head -1)
xdotool windowmove "$help" 0 0 windowsize "$help" 1100 640
sleep 1
shot help
xdotool windowclose "$help" 2>/dev/null || xdotool key --window "$help" alt+F4 || true
sleep 0.5

window_keys F12
shot about
keys Return
