#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer targets (clang, ASan, UBSan) into build-fuzz/ and runs each one for a
# bounded time from its seed corpus in fuzz/corpus/<target>/. A crash, a leak, a hang (one input
# over 10 s) or a memory blow-up (over 2 GB) fails the script; the input that did it is left in
# build-fuzz/artifacts/ and belongs in fuzz/corpus/<target>/ once fixed.
#
#   scripts/fuzz.sh [target ...]     FUZZ_SECONDS (default 60) per target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_BUILD_JOBS:-2}

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELLUMDEX_WERROR="${VELLUMDEX_WERROR:-OFF}" \
    -DVELLUMDEX_SANITIZE=ON -DVELLUMDEX_FUZZ=ON -DVELLUMDEX_WIDGETS=OFF -DBUILD_TESTING=OFF \
    >/dev/null
cmake --build build-fuzz -j"$jobs"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for d in fuzz/corpus/*/; do targets+=("$(basename "$d")"); done
fi
# The targets write and replace small files at every input: on a memory file system where
# there is one, so that the disk's flushes do not set the pace.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    TMPDIR=$(mktemp -d /dev/shm/vellumdex-fuzz.XXXXXX)
    export TMPDIR
    trap 'rm -rf "$TMPDIR"' EXIT
fi
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p build-fuzz/artifacts
# The tests' own fixtures seed the targets that read them, beside fuzz/corpus/<target>/.
declare -A test_seeds=(
    [fuzz_bookmarks]="tests/data/bookmarks tests/data/browsers"
    [fuzz_restore]=tests/data/convert
    [fuzz_replace]="fuzz/corpus/fuzz_restore tests/data/convert"
    [fuzz_template]=tests/data/convert
    [fuzz_caption]=tests/data/convert
)
# Deep and wide restore blocks need more than the default length, and the block's keys.
declare -A max_len=(
    [fuzz_restore]=262144
    [fuzz_replace]=262144
    [fuzz_roundtrip]=16384
)
# Targets that share one target's time, so that the bounded run keeps its length: the restore
# of a page, fresh and over the tree it made.
declare -A share=(
    [fuzz_restore]=2
    [fuzz_replace]=2
)
declare -A dict=(
    [fuzz_restore]=fuzz/fuzz_restore.dict
    [fuzz_replace]=fuzz/fuzz_restore.dict
)
failed=()
for t in "${targets[@]}"; do
    work=build-fuzz/corpus/$t
    mkdir -p "$work"
    log=build-fuzz/$t.log
    target_seconds=$((seconds / ${share[$t]:-1}))
    echo "== $t: ${target_seconds} s from $(ls fuzz/corpus/"$t" | wc -l) seeds"
    # New inputs go to the working corpus; the seeds in the repository stay as they are.
    if build-fuzz/fuzz/"$t" -max_total_time="$target_seconds" -rss_limit_mb=2048 -timeout=10 \
        -max_len="${max_len[$t]:-8192}" ${dict[$t]:+-dict="${dict[$t]}"} -print_final_stats=1 -artifact_prefix=build-fuzz/artifacts/"$t"- \
        "$work" fuzz/corpus/"$t" ${test_seeds[$t]:-} >"$log" 2>&1; then
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
        echo "   ok: ${runs:-?} executions, working corpus $(ls "$work" | wc -l) inputs"
    else
        echo "   FAILED, see $log:"
        grep -E 'ERROR|property broken|SUMMARY|Test unit written' "$log" | head -10 | sed 's/^/   /'
        failed+=("$t")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing found faults in: ${failed[*]}" >&2
    exit 1
fi
