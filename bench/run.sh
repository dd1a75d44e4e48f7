#!/bin/bash
# Benchmark of the .xlsx engine, run by hand:
#   bench/run.sh [RUNS] [WORKDIR]
# Builds korrin-batch (Release) in build-bench/ and the floor program
# (FLOOR, default ../shared/tools/floor.c beside the repository: it reads,
# inflates, byte-searches, deflates the changed parts and saves atomically,
# no XML work, a bound rather than an implementation), writes 200 small
# workbooks of 3 sheets and one of a million cells into WORKDIR (default: a
# new temporary folder), and times on the same copies, RUNS times each
# (default 3): korrin-batch, the floor with zlib at level 6 and with
# libdeflate at level 6, and openpyxl (once, on disk). It prints min and
# median wall time of each and the ratios to korrin-batch's median:
#   200 small, tmpfs          korrin-batch / zlib-6 floor
#   200 small, no match       korrin-batch / zlib-6 floor
#   200 small, disk + fsync   korrin-batch / zlib-6 floor, openpyxl / korrin-batch
#   1M cells, tmpfs           seconds and peak RSS
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
runs=${1:-3}
work=${2:-$(mktemp -d /tmp/korrin-bench.XXXXXX)}
py=/usr/bin/python3

. "$here/build.sh"
batch=$(korrin_batch)
mkdir -p "$work"
floor=$(floor_program "$work")

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
shm=$(mktemp -d /dev/shm/korrin-bench.XXXXXX)
trap 'rm -rf "$shm"' EXIT

# measure CMD...: runs it under /usr/bin/time; appends "seconds peak-kB",
# the seconds to the millisecond (time's own are to the hundredth).
measure() {
    local t0=$EPOCHREALTIME
    /usr/bin/time -f "%M" -o "$work/time.log" "$@" >"$work/out.log" 2>&1 \
        || { echo "failed: $*" >&2; tail -5 "$work/out.log" >&2; exit 1; }
    local t1=$EPOCHREALTIME
    echo "$t0 $t1 $(cat "$work/time.log")" | awk '{ printf "%.3f %s\n", $2 - $1, $3 }'
}
# series NAME SOURCE DEST CMD...: RUNS times CMD on a fresh copy of SOURCE
# at DEST; prints "NAME min median peak-kB".
series() {
    name=$1 source=$2 dest=$3
    shift 3
    : >"$work/series.log"
    i=0
    while [ $i -lt "$runs" ]; do
        rm -rf "$dest"
        cp -r "$source" "$dest"
        sync
        measure "$@" >>"$work/series.log"
        i=$((i + 1))
    done
    sort -n "$work/series.log" | awk -v n="$name" '{ t[NR] = $1; if ($2 > m) m = $2 }
        END { printf "%s %s %s %s\n", n, t[1], t[int((NR + 1) / 2)], m }'
}
pair="--sheets all --match-case --pair"
row() { # label korrin floor-zlib floor-ld
    k=$(echo "$2" | cut -d' ' -f3) z=$(echo "$3" | cut -d' ' -f3) l=$(echo "$4" | cut -d' ' -f3)
    printf '%-26s %7s %7s %9s %9s %8s %8s   %5.2fx zlib-6 floor\n' "$1" \
        "$(echo "$2" | cut -d' ' -f2)" "$k" "$(echo "$3" | cut -d' ' -f2)/$z" "$(echo "$4" | cut -d' ' -f2)/$l" \
        "$(($(echo "$2" | cut -d' ' -f4) / 1024))MB" "" "$(echo "$k $z" | awk '{ print $1 / $2 }')"
}

echo "runs: $runs; wall seconds: korrin min, median; floor zlib-6 min/median; floor libdeflate-6 min/median; korrin peak"
for mode in tmpfs nomatch; do
    from=alpha to=omega label="200 small, tmpfs"
    [ $mode = nomatch ] && from=omega to=zeta label="200 small, no match"
    k=$(series k "$work/small" "$shm/k" sh -c "exec \"$batch\" $pair $from $to \"$shm/k\"/*.xlsx")
    z=$(series z "$work/small" "$shm/z" sh -c "exec \"$floor\" -e zlib -j 2 $from $to \"$shm/z\"/*.xlsx")
    l=$(series l "$work/small" "$shm/l" sh -c "exec \"$floor\" -e ld -j 2 $from $to \"$shm/l\"/*.xlsx")
    row "$label" "$k" "$z" "$l"
done

k=$(series k "$work/small" "$work/k" sh -c "exec \"$batch\" $pair alpha omega \"$work/k\"/*.xlsx")
z=$(series z "$work/small" "$work/z" sh -c "exec \"$floor\" -e zlib -j 8 alpha omega \"$work/z\"/*.xlsx")
l=$(series l "$work/small" "$work/l" sh -c "exec \"$floor\" -e ld -j 8 alpha omega \"$work/l\"/*.xlsx")
row "200 small, disk + fsync" "$k" "$z" "$l"
rm -rf "$work/o"
cp -r "$work/small" "$work/o"
o=$(measure sh -c "exec $py \"$here/openpyxl_replace.py\" alpha omega \"$work/o\"/*.xlsx")
o_secs=$(echo "$o" | cut -d' ' -f1) k_median=$(echo "$k" | cut -d' ' -f3)
echo "  openpyxl on disk: $o_secs s; $(echo "$o_secs $k_median" | awk '{ printf "%.1f", $1 / $2 }')x korrin-batch's median"

k=$(series k "$work/big" "$shm/bk" sh -c "exec \"$batch\" $pair alpha omega \"$shm/bk/big.xlsx\"")
z=$(series z "$work/big" "$shm/bz" sh -c "exec \"$floor\" -e zlib alpha omega \"$shm/bz/big.xlsx\"")
l=$(series l "$work/big" "$shm/bl" sh -c "exec \"$floor\" -e ld alpha omega \"$shm/bl/big.xlsx\"")
row "1M cells, tmpfs" "$k" "$z" "$l"
echo "work folder: $work"
