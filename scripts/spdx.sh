#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the license's SPDX line first in every source file that lacks it (after a "#!" line):
# "//" in C++ and JavaScript, "#" in Python, shell and CMake scripts.
#
#   scripts/spdx.sh          adds the line where it is missing
#   scripts/spdx.sh --check  names each file without it and fails if there is one
set -euo pipefail
cd "$(dirname "$0")/.."
tag='SPDX-License-Identifier: GPL-3.0-or-later'
check=${1:-}
status=0
while IFS= read -r -d '' f; do
    case $f in *.cpp | *.h | *.mjs) comment='//' ;; *) comment='#' ;; esac
    first=$(head -n1 "$f")
    at=1
    [[ $first != '#!'* ]] || at=2
    sed -n "${at}p" "$f" | grep -qF "$tag" && continue
    if [ "$check" = --check ]; then
        echo "no SPDX line: $f"
        status=1
        continue
    fi
    cr=''
    [[ $first != *$'\r' ]] || cr=$'\r'
    if [ $at = 1 ]; then sed -i "1i $comment $tag$cr" "$f"; else sed -i "1a $comment $tag$cr" "$f"; fi
done < <(find src tests bench fuzz tools scripts cmake -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.mjs' -o -name '*.py' -o -name '*.sh' \
    -o -name '*.cmake' \) -not -path 'tests/data/*' -not -path 'fuzz/corpus/*' \
    -not -path '*/node_modules/*' -print0 | sort -z)
exit $status
