#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package unpacked into a temporary root (dpkg -x), as an installed program sees it.
#   metadata: lintian finds nothing (not even a pedantic or informational tag), both programs
#             pass hardening-check, the desktop entry, the AppStream metadata and the manual
#             pages pass their checkers;
#   programs: both programs run from there as nobody with a home of its own, settings in the
#             XDG folder (owner-only), the shipped definitions and one of the user's own found;
#   install:  installed with apt on this machine (root only), both programs started, then
#             purged: nothing of the package is left.
#
#   installed_package.sh metadata|programs|install PACKAGE_DIR FAVORITES_DIR
set -euo pipefail
mode=$1 favorites=$3
skip() { echo "SKIP: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
need() { for t; do command -v "$t" >/dev/null || skip "$t is missing"; done; }
need dpkg-deb
package=$(ls -t "$2"/vellumdex_*.deb | head -1)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
tree=$root/tree
dpkg-deb -x "$package" "$tree"
chmod 755 "$root" "$tree"
share=$tree/usr/share

if [ "$mode" = metadata ]; then
    # Each checker that is missing is skipped by itself, the others still run.
    skipped=()
    have() { command -v "$1" >/dev/null || { echo "SKIP: $1 is missing"; skipped+=("$1"); false; }; }
    dpkg-deb -f "$package" Depends | grep -q 'libqt6core6.*libcurl\|libcurl.*libqt6core6' ||
        fail "the libraries are not in Depends: $(dpkg-deb -f "$package" Depends)"
    if have lintian; then
        tags=$(lintian --pedantic --display-info --tag-display-limit 0 "$package" 2>&1 |
            grep -vx 'running with root privileges is not recommended!') || true
        [ -z "$tags" ] || fail "lintian: $tags"
    fi
    # Control-flow protection is left out of the check: Debian 12's own start files (glibc's
    # Scrt1.o, crti.o, crtn.o) carry no IBT/SHSTK property, so no program linked here can.
    if have hardening-check; then
        for program in vellumdex vellumdex-cli; do
            hardening-check --nocfprotection "$tree/usr/bin/$program" >&2 ||
                fail "hardening-check $program"
        done
    fi
    ! have desktop-file-validate ||
        desktop-file-validate "$share"/applications/org.example.vellumdex.desktop
    ! have appstreamcli ||
        appstreamcli validate --pedantic --no-net "$share"/metainfo/org.example.vellumdex.metainfo.xml
    for page in "$share"/man/man1/*.1.gz "$share"/man/ja/man1/*.1.gz; do
        have man || break
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" \
            2>&1 >/dev/null)
        [ -z "$warnings" ] || fail "manual page $page: $warnings"
    done
    [ "$(ls "$share"/man/man1 "$share"/man/ja/man1 | grep -c '\.1\.gz$')" = 4 ] ||
        fail "not the four manual pages: $(ls -R "$share"/man)"
    zcat "$share"/doc/vellumdex/changelog.gz |
        grep -q "^vellumdex ($(dpkg-deb -f "$package" Version)) " ||
        fail "the changelog does not name this version"
    for s in 16 22 24 32 48 64 128 256; do
        icon=$share/icons/hicolor/${s}x$s/apps/org.example.vellumdex.png
        [ "$(od -An -j16 -N8 -tx1 "$icon" | tr -d ' \n')" = "$(printf '%08x%08x' "$s" "$s")" ] ||
            fail "$icon is not $s by $s"
    done
    [ -s "$share"/icons/hicolor/scalable/apps/org.example.vellumdex.svg ] || fail "no scalable icon"
    bash -n "$share"/bash-completion/completions/vellumdex-cli
    [ ${#skipped[@]} -eq 0 ] || skip "not checked: ${skipped[*]}"
    exit 0
fi

if [ "$mode" = install ]; then
    [ "$(id -u)" -eq 0 ] || skip "installing the package needs root"
    need apt-get
    ! dpkg-query -W -f='${Status}' vellumdex 2>/dev/null | grep -q installed ||
        skip "a vellumdex package is installed already; it is left alone"
    apt=(env DEBIAN_FRONTEND=noninteractive apt-get -y -qq -o DPkg::Lock::Timeout=300)
    trap '"${apt[@]}" purge vellumdex >/dev/null 2>&1 || true; rm -rf "$root"' EXIT
    "${apt[@]}" install "$(realpath "$package")" >/dev/null || fail "apt install"
    for program in vellumdex vellumdex-cli; do
        out=$(env -u DISPLAY -u WAYLAND_DISPLAY HOME="$root" XDG_CONFIG_HOME="$root/config" \
            "/usr/bin/$program" --version) || fail "$program --version"
        grep -q "1\.02" <<<"$out" || fail "$program --version: $out"
    done
    "${apt[@]}" purge vellumdex >/dev/null || fail "apt purge"
    left=$(dpkg-deb -c "$package" | awk '{print substr($6, 2)}' | grep -v '/$' |
        while read -r f; do [ ! -e "$f" ] || echo "$f"; done)
    [ -z "$left" ] || fail "left after purge: $left"
    for d in /usr/share/vellumdex /usr/share/doc/vellumdex; do
        [ ! -e "$d" ] || fail "left after purge: $d"
    done
    exit 0
fi

[ "$(id -u)" -eq 0 ] || skip "running the programs as nobody needs root"
need setpriv iconv
home=$root/home
mkdir -p "$home/data/Vellumdex/Config/Mine" "$home/runtime"
chmod 700 "$home/runtime"
cp -r "$favorites" "$home/Favorites"
# A definition of the user's own: the shipped standard one under another caption.
{ printf '<!--%s-->\r\n' "$(printf '自作' | iconv -t CP932)"
  tail -n +2 "$share/vellumdex/Config/Default/標準.html"; } >"$home/data/Vellumdex/Config/Mine/mine.html"
chown -R nobody:nogroup "$home"
as_nobody=(setpriv --reuid=nobody --regid=nogroup --clear-groups env -i PATH=/usr/bin:/bin
    LANG=C.UTF-8 HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data"
    XDG_CACHE_HOME="$home/cache" XDG_RUNTIME_DIR="$home/runtime" QT_QPA_PLATFORM=offscreen)
bin=$tree/usr/bin
settings=$home/config/Vellumdex

# The desktop program keeps the chosen definition when it is closed (here by the session's SIGTERM).
"${as_nobody[@]}" "$bin/vellumdex" &
pid=$!
for _ in $(seq 100); do [ -d "$settings" ] && break; sleep 0.2; done
sleep 1
kill -TERM "$pid"
wait "$pid" || fail "the desktop program ended with status $?"
[ "$(stat -c %a "$settings")" = 700 ] || fail "$settings is $(stat -c %a "$settings")"
[ "$(stat -c %a "$settings/Vellumdex.ini")" = 600 ] || fail "Vellumdex.ini is not owner-only"
LC_ALL=C grep -q "^ConfigFile=$(printf '標準' | iconv -t CP932)"$'\r' "$settings/Vellumdex.ini" ||
    fail "the chosen definition was not kept"

version=$("${as_nobody[@]}" "$bin/vellumdex-cli" --version)
grep -qx "設定フォルダ: $settings" <<<"$version" || fail "--version: $version"
definitions=$("${as_nobody[@]}" "$bin/vellumdex-cli" definitions)
for caption in 標準 ブックマーク 自作; do
    grep -q "	$caption\$" <<<"$definitions" || fail "definition $caption not found: $definitions"
done
for caption in 標準 自作; do
    "${as_nobody[@]}" "$bin/vellumdex-cli" convert --input "$home/Favorites" --definition "$caption" \
        --restore-block >/dev/null || fail "conversion with $caption"
    grep -q 'URL=https\?://' "$home/Favorites.html" || fail "no restore block from $caption"
    rm "$home/Favorites.html"
done
[ -z "$(find "$tree" -newer "$package" -type f)" ] || fail "written into the program's tree"
# Root may write the program's folder, but an installed program's settings stay in the profile.
version=$(HOME=$root XDG_CONFIG_HOME=$root/rootconfig "$bin/vellumdex-cli" --version)
grep -qx "設定フォルダ: $root/rootconfig/Vellumdex" <<<"$version" || fail "root's settings: $version"
# A Vellumdex.ini put beside the program keeps the settings there, as in a portable copy.
touch "$bin/Vellumdex.ini"
version=$("${as_nobody[@]}" "$bin/vellumdex-cli" --version)
grep -qx "設定フォルダ: $bin" <<<"$version" || fail "Vellumdex.ini beside the program: $version"
