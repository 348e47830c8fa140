#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what Vellumdex needs from Debian's packages (once), then configures and builds it
# into build/. Runs as root or, where sudo is there, as a normal user.
set -euo pipefail
cd "$(dirname "$0")/.."

# rapidjson-dev: the Chromium Bookmarks file is read as it streams past (header-only SAX reader).
packages=(build-essential cmake ninja-build pkg-config qt6-base-dev qt6-translations-l10n libcurl4-openssl-dev
          rapidjson-dev
          python3-pyftpdlib python3-openssl openssh-server fonts-noto-cjk xvfb chromium
          clang libclang-rt-14-dev libqt6sql6-sqlite firefox-esr buku php-cli php-netscape-bookmark-parser
          dpkg-dev desktop-file-utils appstream man-db lintian devscripts)
# Node.js drives the browser tests. A machine may already carry a Node.js of its own (not
# Debian's), whose package conflicts with Debian's npm: take Debian's only when none is there.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then sudo=""; elif command -v sudo >/dev/null; then sudo="sudo"; else
        echo "Missing packages: ${missing[*]} (run as root or install sudo)" >&2; exit 1; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMDEX_WERROR="${VELLUMDEX_WERROR:-OFF}" >/dev/null
cmake --build build -j"$(nproc)"
