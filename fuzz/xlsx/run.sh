#!/bin/sh
# Runs the .xlsx fuzz targets by hand:
#   fuzz/xlsx/run.sh [SECONDS_EACH] [TARGET...]
# Builds them (clang, build-fuzz/), keeps a growing corpus per target in
# $KORRIN_FUZZ_WORK (default /tmp/korrin-xlsx-fuzz) seeded from corpus/, and
# leaves any crash or timeout input there as crash-* / timeout-*.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")
secs=${1:-600}
[ $# -gt 0 ] && shift
targets=${*:-"sheet sharedstrings rels package"}
work=${KORRIN_FUZZ_WORK:-/tmp/korrin-xlsx-fuzz}
build=$root/build-fuzz
generator=$(command -v ninja >/dev/null 2>&1 && echo "-G Ninja" || echo "")
CC=clang CXX=clang++ cmake -S "$root" -B "$build" $generator -DKORRIN_FUZZ=ON -DKORRIN_BUILD_TESTS=OFF >/dev/null
for t in $targets; do
    cmake --build "$build" --target "fuzz_xlsx_$t" -j2 >/dev/null
    mkdir -p "$work/$t"
    echo "fuzz_xlsx_$t for $secs s"
    (cd "$work" && "$build/fuzz/xlsx/fuzz_xlsx_$t" -dict="$here/xml.dict" -max_len=200000 -rss_limit_mb=2048 \
        -timeout=20 -max_total_time="$secs" -print_final_stats=1 -artifact_prefix="$work/$t-" \
        "$work/$t" "$here/corpus/$t" >"$work/$t.log" 2>&1) || echo "  stopped: see $work/$t.log"
    grep -E "^#[0-9]+ +DONE|stat::number_of_executed_units|new_units_added" "$work/$t.log" | sed 's/^/  /'
done
