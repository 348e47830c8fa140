#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# After scripts/test.sh: the core and every test built with clang's AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/, the whole suite run there (any report fails it),
# then each fuzz target for a bounded time (scripts/fuzz.sh).
#
#   scripts/hardening.sh            FUZZ_SECONDS (default 60) per fuzz target
#   SKIP_FUZZ=1 scripts/hardening.sh
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${HARDENING_BUILD_JOBS:-$(nproc)}

CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELLUMDEX_WERROR="${VELLUMDEX_WERROR:-OFF}" \
    -DVELLUMDEX_SANITIZE=ON -DVELLUMDEX_WIDGETS=ON >/dev/null
cmake --build build-asan -j"$jobs"

# Leaks are reported at exit; suppressed are only those inside system libraries that keep
# their allocations for the life of the process (see scripts/lsan.supp).
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
(cd build-asan && ctest --output-on-failure --timeout 900)

if [ -z "${SKIP_FUZZ:-}" ]; then
    FUZZ_BUILD_JOBS=$jobs scripts/fuzz.sh
fi
