#!/bin/sh
# Installs the packages Korrin needs (asking for sudo only when some are
# missing), builds it and runs every test; exits non-zero when a test fails.
#   ./scripts/test.sh
set -eu
. "$(dirname "$0")/common.sh"

./scripts/install-packages.sh
build
as_user ctest --test-dir build --output-on-failure
