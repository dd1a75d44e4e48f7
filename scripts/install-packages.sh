#!/bin/sh
# Installs the Debian packages listed in scripts/packages.txt. Runs apt-get
# directly as root (CI has no sudo), through sudo otherwise.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
packages=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$here/packages.txt" | grep -v '^$')

if [ "$(id -u)" -eq 0 ]; then
    as_root=""
elif command -v sudo >/dev/null 2>&1; then
    as_root="sudo"
else
    echo "install-packages.sh: run as root or install sudo" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update
# shellcheck disable=SC2086 # one word per package
$as_root apt-get install -y $packages
