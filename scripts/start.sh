#!/bin/sh
# Installs the packages Korrin needs (asking for sudo only when some are
# missing), builds it and starts it.
#   ./scripts/start.sh
set -eu
. "$(dirname "$0")/common.sh"

./scripts/install-packages.sh
build
as_user ./build/src/app/korrin
