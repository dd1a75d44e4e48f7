#!/bin/sh
# Benchmark of the .xlsx engine against openpyxl, run by hand:
#   bench/run.sh [--skip-openpyxl-big] [WORKDIR]
# Builds korrin-batch (Release) in build-bench/, writes a corpus of 1000
# small workbooks and one of a million cells into WORKDIR (default: a new
# temporary folder), and times korrin-batch and an openpyxl script doing the
# same replacement on copies of the same files, printing the ratio and the
# peak memory of each run (/usr/bin/time -v). korrin-batch also runs on a
# copy in tmpfs, to tell the engine's own time from the disk's: each save
# is flushed to disk (file and folder), which costs milliseconds per file.
set -eu
skip_big=0
if [ "${1:-}" = "--skip-openpyxl-big" ]; then skip_big=1; shift; fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=${1:-$(mktemp -d /tmp/korrin-bench.XXXXXX)}
py=/usr/bin/python3
build=$root/build-bench

generator=$(command -v ninja >/dev/null 2>&1 && echo "-G Ninja" || echo "")
cmake -S "$root" -B "$build" $generator -DCMAKE_BUILD_TYPE=Release -DKORRIN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target korrin-batch -j2 >/dev/null
batch=$build/src/batch/korrin-batch

mkdir -p "$work"
if [ ! -f "$work/small/book0999.xlsx" ]; then
    echo "writing 1000 small workbooks..."
    $py "$here/make_small_workbooks.py" "$work/small" 1000
fi
if [ ! -f "$work/big/big.xlsx" ]; then
    echo "writing the workbook of a million cells..."
    cc -O2 -o "$work/make_big_workbook" "$here/make_big_workbook.c" $(pkg-config --cflags --libs xlsxwriter)
    mkdir -p "$work/big"
    "$work/make_big_workbook" "$work/big/big.xlsx" 100000 10
fi

# Runs a command under /usr/bin/time -v; prints "seconds peak-kB".
measure() {
    log=$work/time.log
    /usr/bin/time -v "$@" >"$work/out.log" 2>"$log" || { echo "failed: $*" >&2; tail -5 "$work/out.log" >&2; exit 1; }
    secs=$(sed -n 's/.*Elapsed (wall clock) time.*: //p' "$log" | awk -F: '{ if (NF == 3) print $1 * 3600 + $2 * 60 + $3; else print $1 * 60 + $2 }')
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$log")
    echo "$secs $rss"
}

fresh() { rm -rf "$work/$2"; cp -r "$work/$1" "$work/$2"; }

fresh small run-korrin
fresh small run-openpyxl
set -- $(measure "$batch" --sheets all --match-case --pair alpha omega "$work"/run-korrin/*.xlsx)
k_secs=$1 k_rss=$2
set -- $(measure $py "$here/openpyxl_replace.py" alpha omega "$work"/run-openpyxl/*.xlsx)
o_secs=$1 o_rss=$2
echo "1000 small workbooks: korrin-batch ${k_secs} s (peak ${k_rss} kB), openpyxl ${o_secs} s (peak ${o_rss} kB)"
echo "  throughput ratio: $(echo "$o_secs $k_secs" | awk '{ printf "%.1f", $1 / $2 }')x"

# The same files in memory (tmpfs), where saving costs no disk flushes:
# what the engine itself does, apart from the storage.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    shm=$(mktemp -d /dev/shm/korrin-bench.XXXXXX)
    cp -r "$work/small" "$shm/small"
    set -- $(measure "$batch" --sheets all --match-case --pair alpha omega "$shm"/small/*.xlsx)
    echo "  the same on tmpfs: korrin-batch $1 s; ratio $(echo "$o_secs $1" | awk '{ printf "%.1f", $1 / $2 }')x"
    rm -rf "$shm"
fi

fresh big big-korrin
set -- $(measure "$batch" --sheets all --match-case --pair alpha omega "$work/big-korrin/big.xlsx")
echo "1,000,000 cells: korrin-batch $1 s, peak $(($2 / 1024)) MB"
b_secs=$1
if [ $skip_big -eq 0 ]; then
    fresh big big-openpyxl
    set -- $(measure $py "$here/openpyxl_replace.py" alpha omega "$work/big-openpyxl/big.xlsx")
    echo "1,000,000 cells: openpyxl $1 s, peak $(($2 / 1024)) MB; ratio $(echo "$1 $b_secs" | awk '{ printf "%.1f", $1 / $2 }')x"
fi
echo "work folder: $work"
