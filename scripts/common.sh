# Shared by start.sh and test.sh; sourced, not run.

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo" || exit 1

# Called as "sudo ./scripts/...", the scripts still build and start Korrin as
# the user who called sudo: the build tree, the settings file and the window
# belong to that user, not to root.
as_user() {
    if [ "$(id -u)" -eq 0 ] && [ -n "${SUDO_USER:-}" ] && [ "$SUDO_USER" != root ]; then
        set -- env ${DISPLAY:+DISPLAY="$DISPLAY"} ${XAUTHORITY:+XAUTHORITY="$XAUTHORITY"} \
            ${WAYLAND_DISPLAY:+WAYLAND_DISPLAY="$WAYLAND_DISPLAY"} "$@"
        sudo -u "$SUDO_USER" -H "$@"
    else
        "$@"
    fi
}

# Configures (once) and builds into build/: the targets named, or all of
# them (the tests included) when none is. The build tool's own progress
# ([n/N] from ninja, [ n%] from make) goes straight to the terminal.
build() {
    if [ ! -f build/CMakeCache.txt ]; then
        echo "Configuring the build in build/ ..."
        if command -v ninja >/dev/null 2>&1; then
            as_user cmake -S . -B build -G Ninja
        else
            as_user cmake -S . -B build
        fi
    fi
    if [ $# -gt 0 ]; then
        set -- --target "$@"
    fi
    as_user cmake --build build -j"$(nproc)" "$@"
}
