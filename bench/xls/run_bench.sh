#!/bin/sh
# Times korrin-batch on .xls workbooks, and xlrd+xlwt doing the same job.
#   bench/xls/run_bench.sh [BUILD_DIR] [FOLDER]
# BUILD_DIR defaults to build; FOLDER to /tmp/korrin-bench-xls, filled by
# make_corpus.py on first use. Each measurement runs on fresh copies.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
folder=${2:-/tmp/korrin-bench-xls}
batch=$build/src/batch/korrin-batch
py=/usr/bin/python3
[ -x "$batch" ] || { echo "no $batch: build first" >&2; exit 2; }
[ -f "$folder/large.xls" ] || "$py" "$here/make_corpus.py" "$folder"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fresh() {
    rm -rf "$work/run"
    mkdir -p "$work/run"
    cp -r "$folder/small" "$work/run/small"
    cp "$folder/large.xls" "$work/run/large.xls"
}

measure() { # label command...
    label=$1
    shift
    /usr/bin/time -f "%e s, %M KiB peak" -o "$work/time" "$@" > "$work/out" 2>&1 || {
        echo "$label: FAILED"; tail -5 "$work/out"; return 0; }
    printf '%-52s %s\n' "$label" "$(cat "$work/time")"
}

n=$(ls "$folder/small" | wc -l)
echo "corpus: $n small workbooks ($(du -sh "$folder/small" | cut -f1)), large.xls $(du -h "$folder/large.xls" | cut -f1)"

fresh
measure "korrin-batch, $n small, replace over all sheets" "$batch" --sheets all --pair apple pear "$work"/run/small/*.xls
fresh
measure "korrin-batch, large, replace over all sheets" "$batch" --sheets all --pair apple pear "$work/run/large.xls"
fresh
measure "korrin-batch, large, no match (file left alone)" "$batch" --sheets all --pair zzzz pear "$work/run/large.xls"
fresh
measure "korrin-batch, large, 3 position writes" "$batch" --position --pair A1 x --pair H60001 y --pair IV65536 z "$work/run/large.xls"
fresh
measure "xlrd+xlwt, $n small" "$py" "$here/xlrd_xlwt_replace.py" apple pear "$work"/run/small/*.xls
fresh
measure "xlrd+xlwt, large" "$py" "$here/xlrd_xlwt_replace.py" apple pear "$work/run/large.xls"
