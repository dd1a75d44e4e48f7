#!/bin/sh
# Installs the packages Korrin needs, builds it and starts it.
#   sudo ./scripts/start.sh
set -eu
. "$(dirname "$0")/common.sh"

./scripts/install-packages.sh
build
as_user ./build/src/app/korrin
