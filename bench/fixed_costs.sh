#!/bin/bash
# What a run over many small workbooks pays before and besides its XML
# work, next to the floor program, run by hand:
#   bench/fixed_costs.sh [RUNS] [WORKDIR]
# Needs perf and strace (apt-get install linux-perf strace). Builds
# korrin-batch (Release) in build-bench/ (or uses BATCH=path) and the floor
# program (FLOOR, default ../shared/tools/floor.c beside the repository),
# writes the 200 small workbooks of bench/run.sh into WORKDIR (default
# /tmp/korrin-fixed; kept ones are used again) and, RUNS times each
# (default 9), the programs taking turns, measures CPU (perf task-clock, ms):
#   start   an empty C program, an empty program linked with Qt5Core, and
#           korrin-batch given no file;
#   200     the floor (-e ld -l 5 -f 1, as korrin saves: file and folder
#           flushed) and korrin-batch (--pair alpha omega) on fresh copies
#           in /dev/shm.
# Then counts the system calls of one run of each over the 200 (strace -f
# -c) and prints min/median of every figure, korrin-batch's median as a
# multiple of the floor's, and what is left of twice the floor once the
# start-up beyond the floor's is taken off.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-9}
work=${2:-/tmp/korrin-fixed}
py=/usr/bin/python3
for tool in perf strace; do
    command -v $tool >/dev/null || { echo "needs $tool: apt-get install linux-perf strace" >&2; exit 1; }
done

. "$here/build.sh"
BATCH=$(korrin_batch)
mkdir -p "$work"
floor=$(floor_program "$work")
[ -x "$work/empty-c" ] || { echo 'int main(void) { return 0; }' >"$work/empty.c" && cc -O2 -o "$work/empty-c" "$work/empty.c"; }
if [ ! -x "$work/empty-qt" ]; then
    printf '#include <QString>\nint main() { return QString("x").size() - 1; }\n' >"$work/empty.cpp"
    c++ -O2 -fPIC -o "$work/empty-qt" "$work/empty.cpp" $(pkg-config --cflags --libs Qt5Core)
fi
[ -f "$work/small/book0199.xlsx" ] || $py "$here/make_small_workbooks.py" "$work/small" 200

pairs="--sheets all --match-case --pair alpha omega"
copy=/dev/shm/korrin-fixed.$$
trap 'rm -rf "$copy"' EXIT
fresh() { rm -rf "$copy"; cp -r "$work/small" "$copy"; }
cpu() { perf stat -x, -e task-clock "$@" 2>&1 >/dev/null </dev/null | awk -F, '/task-clock/ { print $1 }'; }
declare -A took
note() { took[$1]="${took[$1]:+${took[$1]} }$2"; }
for ((i = 0; i < runs; i++)); do
    note "start: C" "$(cpu "$work/empty-c")"
    note "start: Qt5Core" "$(cpu "$work/empty-qt")"
    note "start: korrin-batch" "$(cpu "$BATCH" $pairs --files-from /dev/null)"
    fresh
    note "200: floor" "$(cpu "$floor" -e ld -l 5 -f 1 alpha omega "$copy"/*.xlsx)"
    fresh
    ls "$copy"/*.xlsx >"$work/list"
    note "200: korrin-batch" "$(cpu "$BATCH" $pairs --files-from "$work/list")"
done

median() { tr ' ' '\n' <<<"$1" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
least() { tr ' ' '\n' <<<"$1" | sort -n | head -1; }
echo "CPU ms over $runs runs, min / median:"
for k in "start: C" "start: Qt5Core" "start: korrin-batch" "200: floor" "200: korrin-batch"; do
    printf '  %-22s %8.1f / %8.1f\n' "$k" "$(least "${took[$k]}")" "$(median "${took[$k]}")"
done

calls() { awk '/ total$/ { print $4 }' "$1"; }
fresh
strace -f -c -o "$work/floor.strace" "$floor" -e ld -l 5 -f 1 alpha omega "$copy"/*.xlsx >/dev/null 2>&1
fresh
ls "$copy"/*.xlsx >"$work/list"
strace -f -c -o "$work/korrin.strace" "$BATCH" $pairs --files-from "$work/list" >/dev/null
strace -f -c -o "$work/empty.strace" "$BATCH" $pairs --files-from /dev/null >/dev/null
echo "system calls per file: floor $(( $(calls "$work/floor.strace") / 200 )), korrin-batch $(( ($(calls "$work/korrin.strace") - $(calls "$work/empty.strace")) / 200 )) (less its start-up; $work/*.strace by kind)"

awk -v f="$(median "${took["200: floor"]}")" -v k="$(median "${took["200: korrin-batch"]}")" \
    -v s="$(median "${took["start: korrin-batch"]}")" -v c="$(median "${took["start: C"]}")" 'BEGIN {
    printf "korrin-batch / floor: %.2fx\n", k / f
    printf "twice the floor, %.1f ms, less the start-up beyond a C program (%.1f ms), leaves %.1f ms for the rest; korrin-batch spends %.1f\n", 2 * f, s - c, 2 * f - (s - c), k - (s - c)
}'
