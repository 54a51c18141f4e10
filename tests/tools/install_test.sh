#!/usr/bin/env bash
# Installs the build tree under a temporary prefix and checks what lands where: the program,
# its guide, its desktop entry and its icon; and that a program run from the installed bin
# folder finds the guide in share/toppeek/help. The probe stands in for the program, which
# needs a display, and reports the paths the program's own code computes.
#
#   install_test.sh BUILD_DIR LOCATION_PROBE
set -euo pipefail

build=$1
probe=$2
prefix=$(mktemp -d)
trap 'chmod -R u+w "$prefix" 2>/dev/null || true; rm -rf "$prefix"' EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

if ! cmake --install "$build" --prefix "$prefix" >"$prefix/install.log" 2>&1; then
    cat "$prefix/install.log"
    fail "cmake --install failed"
fi

[ -x "$prefix/bin/toppeek" ] || fail "no executable bin/toppeek"
[ -f "$prefix/share/toppeek/help/index.html" ] || fail "no share/toppeek/help/index.html"
[ ! -e "$prefix/bin/help" ] || fail "the guide was installed beside the executable too"
desktop="$prefix/share/applications/io.github.toppeek.TopPeek.desktop"
icon="$prefix/share/icons/hicolor/scalable/apps/toppeek.svg"
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$icon" ] || fail "no icon"
[ -f "$prefix/share/metainfo/io.github.toppeek.TopPeek.metainfo.xml" ] || fail "no AppStream metainfo"
[ -f "$prefix/share/man/man1/toppeek.1" ] || fail "no manual page"
if command -v rsvg-convert >/dev/null; then
    [ -f "$prefix/share/icons/hicolor/48x48/apps/toppeek.png" ] || fail "no 48x48 icon"
fi
grep -qx 'Exec=toppeek' "$desktop" || fail "the desktop entry does not start toppeek"
grep -qx 'Icon=toppeek' "$desktop" || fail "the desktop entry does not name the icon"
grep -q '<svg' "$icon" || fail "the icon is no SVG"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate refused the entry"
fi
for page in $(cd "$(dirname "$0")/../../help" && ls); do
    [ -f "$prefix/share/toppeek/help/$page" ] || fail "help page $page was not installed"
done

cp "$probe" "$prefix/bin/toppeek-probe"
home=$(mktemp -d)
trap 'chmod -R u+w "$prefix" 2>/dev/null || true; rm -rf "$prefix" "$home"' EXIT
report=$(env HOME="$home" XDG_CONFIG_HOME="$home/config" "$prefix/bin/toppeek-probe")
expect_line() {
    printf '%s\n' "$report" | grep -qx -- "$1" || fail "expected '$1', the probe said:
$report"
}
expect_line "help $prefix/share/toppeek/help"
# The bin folder is writable here: the files stay beside the executable, as in a build tree.
expect_line "settings $prefix/bin/toppeek-settings.dat"

# Only a user other than root can see a folder it may not write to; the unit tests cover
# that case through their seam everywhere.
if [ "$(id -u)" -ne 0 ]; then
    chmod a-w "$prefix/bin"
    report=$(env HOME="$home" XDG_CONFIG_HOME="$home/config" "$prefix/bin/toppeek-probe")
    expect_line "settings $home/config/toppeek/toppeek-settings.dat"
    expect_line "filters $home/config/toppeek/toppeek-filters.dat"
    [ "$(stat -c %a "$home/config/toppeek")" = 700 ] || fail "the configuration folder is not 0700"
fi
echo "PASS: installed under $prefix with the guide, the desktop entry and the icon"
