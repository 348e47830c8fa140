#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Vellumdex beside the tools people use instead, on one generated browser export, in one run:
# each step's wall time, processor time (user + system) and peak memory (GNU time) in one table.
#   bench/peers.sh [LINKS] [BUILD]      (defaults: 100000 links, build-rel)
# Vellumdex: import of the export, conversion with both shipped definitions (標準 with the
# restore block, ブックマーク without; sorted by name), restore of the 標準 page.
# Peers, where installed: buku (Debian "buku": import into its SQLite store, export as a
# bookmark file) and Shaarli's Netscape parser (Debian "php-netscape-bookmark-parser" with
# "php-cli": parsing alone). A peer that is not installed is skipped and named as such.
set -uo pipefail
cd "$(dirname "$0")/.."
links=${1:-100000}
build=${2:-build-rel}
cli=$build/vellumdex-cli
bench=$build/vellumdex-bench
for f in "$cli" "$bench"; do
    [ -x "$f" ] || { echo "$f missing: build the targets vellumdex-cli and vellumdex-bench" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "/usr/bin/time missing (Debian package \"time\")" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export="$work/bookmarks.html"
"$bench" --bookmark-file "$export" "$links" || exit 1
rows=()
skipped=()

# step NAME COMMAND...: runs it once under GNU time; a failure ends the script.
step() {
    local name=$1; shift
    sync
    if ! /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" >"$work/out" 2>"$work/err"; then
        echo "$name failed:" >&2; tail -5 "$work/err" "$work/out" >&2; exit 1
    fi
    read -r secs user sys kib <"$work/time"
    rows+=("$(printf '| %s | %.2f s | %.2f s | %.1f MiB |' "$name" "$secs" \
        "$(echo "$user + $sys" | bc -l)" "$(echo "$kib / 1024" | bc -l)")")
}

step "Vellumdex import into a Favorites tree" "$cli" import "$export" "$work/Favorites"
step "Vellumdex convert, 標準 with restore block, by name" \
    "$cli" convert --input "$work/Favorites" --output "$work/standard.html" --definition 標準 \
    --sort name --asc --restore-block
step "Vellumdex convert, ブックマーク, no block, by name" \
    "$cli" convert --input "$work/Favorites" --output "$work/bookmarks-out.html" \
    --definition ブックマーク --sort name --asc --no-restore-block
step "Vellumdex restore of the 標準 page" "$cli" restore "$work/standard.html" "$work/restored"

if command -v buku >/dev/null; then
    mkdir -p "$work/buku"
    export XDG_DATA_HOME="$work/buku"
    step "buku $(buku --nostdin --version 2>/dev/null), import into its SQLite store" \
        buku --nostdin --tacit -i "$export"
    step "buku, export as a bookmark file" buku --nostdin --tacit -e "$work/buku-export.html"
    unset XDG_DATA_HOME
else
    skipped+=("buku (Debian package \"buku\")")
fi

parser=/usr/share/php/Shaarli/NetscapeBookmarkParser/autoload.php
if command -v php >/dev/null && [ -f "$parser" ]; then
    cat >"$work/shaarli.php" <<'PHP'
<?php
require_once 'Shaarli/NetscapeBookmarkParser/autoload.php';
// Its log (a line for every line parsed) goes to the work folder, or nowhere where PSR's
// null logger is there: the figure is the parsing's alone, and the checkout stays clean.
$parser = new Shaarli\NetscapeBookmarkParser\NetscapeBookmarkParser(true, [], '0', $argv[2]);
if (class_exists('Psr\\Log\\NullLogger'))
    $parser->setLogger(new Psr\Log\NullLogger());
echo count($parser->parseFile($argv[1])), " links\n";
PHP
    step "Shaarli's Netscape parser, parse only" \
        php -d memory_limit=-1 "$work/shaarli.php" "$export" "$work/shaarli-logs"
else
    skipped+=("Shaarli's Netscape parser (Debian packages \"php-netscape-bookmark-parser\", \"php-cli\")")
fi

echo "$links links, export of $(du -m "$export" | cut -f1) MiB; $(nproc) cores, $(uname -sr), $build"
echo
echo "| step | wall time | processor time | peak memory |"
echo "|---|---:|---:|---:|"
printf '%s\n' "${rows[@]}"
for s in "${skipped[@]}"; do echo "skipped, not installed: $s"; done
