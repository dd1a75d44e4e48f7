#!/bin/bash
# What the record of changes (--changes) costs, run by hand:
#   bench/changes.sh [RUNS] [WORKDIR]
# Builds korrin-batch (Release) in build-bench/, writes the 200 small
# workbooks and the workbook of a million cells of bench/run.sh into WORKDIR
# (default: a new temporary folder; kept ones are used again) and times on
# fresh copies in /dev/shm, RUNS times each (default 5), the same run without
# a record, with --changes to a .csv and with --changes to an .xlsx. Prints
# min and median wall and CPU (user + system) seconds, peak RSS and the
# ratios of the medians to the run without a record. The three take turns, so that a load that comes
# and goes weighs on each alike.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-5}
work=${2:-$(mktemp -d /tmp/korrin-changes.XXXXXX)}
py=/usr/bin/python3

. "$here/build.sh"
batch=$(korrin_batch)
mkdir -p "$work"
if [ ! -f "$work/small/book0199.xlsx" ]; then
    echo "writing 200 small workbooks..."
    $py "$here/make_small_workbooks.py" "$work/small" 200
fi
if [ ! -f "$work/big/big.xlsx" ]; then
    echo "writing the workbook of a million cells..."
    cc -O2 -o "$work/make_big_workbook" "$here/make_big_workbook.c" $(pkg-config --cflags --libs xlsxwriter)
    mkdir -p "$work/big"
    "$work/make_big_workbook" "$work/big/big.xlsx" 100000 10
fi
shm=$(mktemp -d /dev/shm/korrin-changes.XXXXXX)
trap 'rm -rf "$shm"' EXIT

# measure NAME CMD...: CMD once on a fresh copy of the set at $shm/w;
# appends "wall-seconds cpu-seconds peak-kB" to $work/NAME.log.
measure() {
    name=$1
    shift
    rm -rf "$shm/w" "$shm"/record.*
    cp -r "$source" "$shm/w"
    local t0=$EPOCHREALTIME
    /usr/bin/time -f "%U %S %M" -o "$work/time.log" "$@" >"$work/out.log" 2>&1 \
        || { echo "failed: $*" >&2; tail -5 "$work/out.log" >&2; exit 1; }
    local t1=$EPOCHREALTIME
    echo "$t0 $t1 $(cat "$work/time.log")" | awk '{ printf "%.3f %.2f %s\n", $2 - $1, $3 + $4, $5 }' >>"$work/$name.log"
}
# summary NAME: "wall-min wall-median cpu-min cpu-median peak-MB" of its
# runs.
summary() {
    local wall cpu peak
    wall=$(cut -d' ' -f1 "$work/$1.log" | sort -n | awk '{ t[NR] = $1 } END { print t[1], t[int((NR + 1) / 2)] }')
    cpu=$(cut -d' ' -f2 "$work/$1.log" | sort -n | awk '{ t[NR] = $1 } END { print t[1], t[int((NR + 1) / 2)] }')
    peak=$(awk '{ if ($3 > m) m = $3 } END { printf "%d", m / 1024 }' "$work/$1.log")
    echo "$wall $cpu $peak"
}
pair="--sheets all --match-case --pair alpha omega"
echo "runs: $runs, the three kinds taking turns; seconds min, median of wall, then of CPU; peak RSS;"
echo "median / median without a record, wall and CPU"
for set in small big; do
    source=$work/$set
    files="$shm/w/*.xlsx"
    rm -f "$work"/none.log "$work"/csv.log "$work"/xlsx.log
    for _ in $(seq "$runs"); do
        measure none sh -c "exec \"$batch\" $pair $files"
        for to in csv xlsx; do
            measure $to sh -c "exec \"$batch\" $pair --changes \"$shm/record.$to\" $files"
        done
    done
    none=$(summary none)
    printf '%-6s %-16s wall %7s %7s  cpu %6s %6s %5sMB\n' "$set" "no record" $none
    for to in csv xlsx; do
        with=$(summary $to)
        printf '%-6s %-16s wall %7s %7s  cpu %6s %6s %5sMB   %.2fx %.2fx\n' "$set" "--changes .$to" $with \
            $(echo "$with $none" | awk '{ print $2 / $7, $4 / $9 }')
    done
    rows=$("$batch" $pair -n --changes - "$source"/*.xlsx 2>/dev/null | wc -l)
    echo "$set: $rows rows in the record"
done
echo "work folder: $work"
