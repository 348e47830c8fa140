#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -f tests/browser/package.json ]; then
    (cd tests/browser && { { [ -d node_modules/playwright-core ] && [ -d node_modules/axe-core ]; } || npm ci --no-audit --no-fund --silent; })
fi
cd build && ctest --output-on-failure
