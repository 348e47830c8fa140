#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets everything up, builds, and makes the Debian package build/vellumdex_VERSION_ARCH.deb
# (install it with: sudo apt install ./build/vellumdex_*.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build
rm -f vellumdex_*.deb
cpack -G DEB >/dev/null
ls "$PWD"/vellumdex_*.deb
