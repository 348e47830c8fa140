#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and starts Vellumdex: the desktop program where a display is
# there, otherwise a conversion of the sample favorites with the command-line tool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
if [ -x build/vellumdex ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec build/vellumdex "$@"
fi
if [ -x build/vellumdex-cli ]; then
    build/vellumdex-cli convert --input samples/Favorites --output build/sample.html --restore-block
    echo "build/sample.html"
fi
