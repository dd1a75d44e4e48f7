#!/bin/sh
# Builds the Debian package, installs it with apt into a fresh Debian 12
# chroot, checks that both programs run there and takes a screenshot of the
# installed korrin on a virtual display. Needs root, debootstrap, xvfb,
# imagemagick and Debian's mirror; slow, so it is not part of the tests.
#   sudo ./scripts/check-package.sh WORKDIR
# WORKDIR must not exist; it receives the chroot, the logs and installed.png.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${1:?usage: check-package.sh WORKDIR}
[ ! -e "$work" ] || { echo "$work exists" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "run as root" >&2; exit 1; }
mkdir -p "$work"
work=$(cd "$work" && pwd)
root="$work/chroot"

cmake --build "$repo/build"
(cd "$repo/build" && cpack >"$work/cpack.log")
deb=$(ls "$repo"/build/korrin_*.deb)
echo "package: $deb ($(stat -c %s "$deb") bytes)"

debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$work/debootstrap.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/root/"
mount -t proc proc "$root/proc"
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
xvfb=""
korrin=""
cleanup() {
    [ -z "$korrin" ] || kill "$korrin" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    umount "$root/tmp/.X11-unix" 2>/dev/null || true
    umount "$root/proc" 2>/dev/null || true
}
trap cleanup EXIT

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
in_root apt-get update >"$work/apt.log"
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y "/root/$(basename "$deb")" >>"$work/apt.log"
in_root dpkg -L korrin >"$work/files.txt"
in_root korrin-batch --version

display=:$(( $$ % 1000 + 100 ))
Xvfb "$display" -screen 0 1100x640x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
sleep 2
chroot "$root" env -i PATH=/usr/bin:/bin HOME=/root LANG=C.UTF-8 DISPLAY="$display" korrin >"$work/korrin.log" 2>&1 &
korrin=$!
sleep 5
DISPLAY="$display" import -window root "$work/installed.png"
kill -0 "$korrin" || { echo "korrin is not running; see $work/korrin.log" >&2; exit 1; }
echo "screenshot: $work/installed.png"
