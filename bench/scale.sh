#!/bin/bash
# Scale series, run by hand:
#   bench/scale.sh [WORKDIR] [RUNS]
# Builds korrin-batch (Release) in build-bench/ (or uses BATCH=path) and the
# floor program (FLOOR, default ../shared/tools/floor.c beside the
# repository), writes one-sheet workbooks of 1M, 4M and 10M cells
# (bench/make_big_workbook.c, ROWS x 10) and one .xls of 65,536 rows x 20
# columns (the same generator, converted by LibreOffice) into WORKDIR
# (default /tmp/korrin-scale; kept ones are used again), and times on fresh
# copies in /dev/shm korrin-batch and, for the .xlsx books, the floor with
# libdeflate at level 5 (-e ld -l 5), --pair alpha omega, RUNS times each
# (default 3), the two taking turns. Prints min/median of CPU seconds
# (user + sys), wall seconds and peak RSS of each, and korrin's median CPU
# as a multiple of the floor's.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
work=${1:-/tmp/korrin-scale}
runs=${2:-3}

. "$here/build.sh"
BATCH=$(korrin_batch)
mkdir -p "$work"
floor=$(floor_program "$work")
maker=$work/make_big_workbook
[ -x "$maker" ] || cc -O2 -o "$maker" "$here/make_big_workbook.c" $(pkg-config --cflags --libs xlsxwriter)

for rows in 100000 400000 1000000; do
    [ -f "$work/big$rows.xlsx" ] || "$maker" "$work/big$rows.xlsx" $rows 10
done
if [ ! -f "$work/wide.xls" ]; then
    "$maker" "$work/wide.xlsx" 65536 20
    soffice -env:UserInstallation=file://$work/lo-profile --headless \
        --convert-to 'xls:MS Excel 97' --outdir "$work" "$work/wide.xlsx" >/dev/null 2>&1
    rm -f "$work/wide.xlsx"
fi
shm=$(mktemp -d /dev/shm/korrin-scale.XXXXXX)
trap 'rm -rf "$shm"' EXIT

# measure FILE CMD...: CMD once on a fresh copy of FILE at $shm/<name>
# (CMD names it as @); prints "cpu wall peak-MB".
measure() {
    local file=$1
    shift
    local copy=$shm/$(basename "$file")
    rm -f "$copy"
    cp "$file" "$copy"
    local args=() a
    for a in "$@"; do [ "$a" = @ ] && args+=("$copy") || args+=("$a"); done
    /usr/bin/time -f "%U %S %e %M" -o "$shm/time.log" "${args[@]}" >"$shm/out.log" 2>&1 \
        || { echo "failed: ${args[*]}" >&2; tail -5 "$shm/out.log" >&2; exit 1; }
    awk '{ printf "%.2f %.2f %d\n", $1 + $2, $3, $4 / 1024 }' "$shm/time.log"
}

# stats "a b c ...": "min/median" of the numbers.
stats() {
    echo "$1" | tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { printf "%s/%s", v[1], v[int((NR + 1) / 2)] }'
}

echo "korrin-batch: $BATCH; $runs run(s) each, korrin and the floor taking turns; min/median"
printf '%-22s %11s %11s %9s   %11s %11s %9s   %s\n' book "k cpu" "k wall" "k MB" "f cpu" "f wall" "f MB" "cpu ratio (medians)"
for rows in 100000 400000 1000000; do
    kc= kw= km= fc= fw= fm=
    for r in $(seq "$runs"); do
        set -- $(measure "$work/big$rows.xlsx" "$BATCH" --sheets all --match-case --pair alpha omega @)
        kc="$kc $1" kw="$kw $2" km="$km $3"
        set -- $(measure "$work/big$rows.xlsx" "$floor" -e ld -l 5 alpha omega @)
        fc="$fc $1" fw="$fw $2" fm="$fm $3"
    done
    ratio=$(echo "$(stats "$kc") $(stats "$fc")" | tr '/' ' ' | awk '{ printf "%.2fx", $2 / $4 }')
    printf '%-22s %11s %11s %9s   %11s %11s %9s   %s\n' "$((rows * 10 / 1000000))M cells ($(du -m "$work/big$rows.xlsx" | cut -f1) MB)" \
        "$(stats "$kc")" "$(stats "$kw")" "$(stats "$km")" "$(stats "$fc")" "$(stats "$fw")" "$(stats "$fm")" "$ratio"
done
kc= kw= km=
for r in $(seq "$runs"); do
    set -- $(measure "$work/wide.xls" "$BATCH" --sheets all --match-case --pair alpha omega @)
    kc="$kc $1" kw="$kw $2" km="$km $3"
done
printf '%-22s %11s %11s %9s\n' ".xls 65536x20 ($(du -m "$work/wide.xls" | cut -f1) MB)" "$(stats "$kc")" "$(stats "$kw")" "$(stats "$km")"
# The window always keeps a record of the changes: the same run with one.
kc= kw= km=
for r in $(seq "$runs"); do
    rm -f "$shm/changes.csv"
    set -- $(measure "$work/wide.xls" "$BATCH" --sheets all --match-case --changes "$shm/changes.csv" --pair alpha omega @)
    kc="$kc $1" kw="$kw $2" km="$km $3"
done
printf '%-22s %11s %11s %9s\n' ".xls, with a record" "$(stats "$kc")" "$(stats "$kw")" "$(stats "$km")"
