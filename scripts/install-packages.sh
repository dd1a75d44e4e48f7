#!/bin/sh
# Installs those Debian packages of scripts/packages.txt that are missing.
# When every one is present it does nothing and needs no root. Otherwise
# apt-get runs directly as root (CI has no sudo), through sudo for anyone
# else.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
packages=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$here/packages.txt" | grep -v '^$')

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
        missing="$missing $package"
    fi
done
[ -n "$missing" ] || exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
    echo "install-packages.sh: installing with sudo:$missing"
else
    echo "install-packages.sh: missing packages:$missing; run as root or install sudo" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update
# shellcheck disable=SC2086 # one word per package
$as_root apt-get install -y $missing
