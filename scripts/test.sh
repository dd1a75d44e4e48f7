#!/bin/sh
# Installs the packages Korrin needs, builds it and runs every test; exits
# non-zero when a test fails.
#   sudo ./scripts/test.sh
set -eu
. "$(dirname "$0")/common.sh"

./scripts/install-packages.sh
build
as_user ctest --test-dir build --output-on-failure
