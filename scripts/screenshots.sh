#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Saves a picture of every window into docs/screenshots/: the program's windows are opened on
# a virtual X display (Xvfb) with sample settings of their own, never the user's.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target vellumdex-screenshots
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing: run scripts/setup.sh" >&2; exit 1; }
mkdir -p docs/screenshots
env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb \
    xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" build/vellumdex-screenshots docs/screenshots
# The standard definition's page at desktop and phone width, in Debian's chromium.
cmake --build build -j2 --target vellumdex-cli
(cd tests/browser && { [ -d node_modules/playwright-core ] || npm ci --no-audit --no-fund --silent; } &&
    node page_screenshots.mjs ../../build/vellumdex-cli ../../samples/Favorites ../../docs/screenshots)
