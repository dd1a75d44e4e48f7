#!/bin/sh
# Installs the packages Korrin needs (asking for sudo only when some are
# missing), builds the two programs (korrin and korrin-batch, not the tests:
# those are test.sh's) and starts the window.
#   ./scripts/start.sh
set -eu
. "$(dirname "$0")/common.sh"

echo "Checking the Debian packages Korrin needs ..."
./scripts/install-packages.sh
if [ ! -x build/src/app/korrin ]; then
    echo "Building korrin and korrin-batch into build/ for the first time: about a minute and a half on 2 idle cores ($(nproc) here)."
else
    echo "Building korrin and korrin-batch (only what changed) ..."
fi
build korrin korrin-batch
echo "Starting build/src/app/korrin"
as_user ./build/src/app/korrin
