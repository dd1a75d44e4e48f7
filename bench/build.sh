# Sourced by the benchmarks (POSIX sh), with root set to the repository.
#   korrin_batch         prints the korrin-batch to time: BATCH if set, else
#                        a Release build in build-bench/ (made or brought
#                        up to date first)
#   floor_program WORK   prints the floor program, compiled into WORK from
#                        FLOOR (default ../shared/tools/floor.c beside the
#                        repository) if WORK has none yet
korrin_batch() {
    if [ -n "${BATCH:-}" ]; then
        echo "$BATCH"
        return
    fi
    generator=$(command -v ninja >/dev/null 2>&1 && echo "-G Ninja" || echo "")
    # Chained, so that a failed build fails the assignment that calls this.
    cmake -S "$root" -B "$root/build-bench" $generator -DCMAKE_BUILD_TYPE=Release -DKORRIN_BUILD_TESTS=OFF >/dev/null \
        && cmake --build "$root/build-bench" --target korrin-batch -j2 >/dev/null \
        && echo "$root/build-bench/src/batch/korrin-batch"
}

floor_program() {
    { [ -x "$1/floor" ] || cc -O2 -o "$1/floor" "${FLOOR:-$root/../shared/tools/floor.c}" -lz -ldeflate -lpthread; } \
        && echo "$1/floor"
}
