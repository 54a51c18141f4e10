#!/usr/bin/env bash
# Builds the Debian package with scripts/build-deb.sh and checks it as a user and the archive
# would: lintian finds nothing it is not told about in the overrides, the AppStream metainfo and
# the desktop entry pass their validators, the package holds what a desktop program needs and
# depends on run-time packages only. Then it is installed with apt-get into a copy-on-write view
# of this machine (an overlay of / in a mount namespace of the test's own, so the machine itself
# is never changed), started on a virtual display, where it shows its window and, with F1, its
# guide, and removed again, leaving none of its files behind.
#
#   package_test.sh SOURCE_DIR
set -uo pipefail

source_dir=$1
support=$source_dir/tests/support
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*"
    exit 1
}

for needed in dpkg-buildpackage lintian appstreamcli desktop-file-validate fakeroot; do
    command -v "$needed" >/dev/null || { echo "SKIP: $needed is not installed"; exit 77; }
done

start=$(date +%s)
"$source_dir/scripts/build-deb.sh" >"$work/build.log" 2>&1 || {
    tail -40 "$work/build.log"
    fail "scripts/build-deb.sh failed"
}
echo "package built in $(($(date +%s) - start)) s"
debs=("$source_dir"/build-deb/toppeek_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one toppeek_*.deb in build-deb/"
deb=${debs[0]}
version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
[ "$(basename "$deb")" = "toppeek_${version}_$(dpkg --print-architecture).deb" ] ||
    fail "unexpected package name $(basename "$deb")"

# Lintian reads the overrides the package carries.
lintian --fail-on error,warning --info "$deb" >"$work/lintian.log" 2>&1 || {
    cat "$work/lintian.log"
    fail "lintian reported errors or warnings"
}
grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian reported errors or warnings"

root=$work/extracted
dpkg-deb -x "$deb" "$root"
for file in usr/bin/toppeek usr/share/toppeek/help/index.html \
    usr/share/applications/io.github.toppeek.TopPeek.desktop \
    usr/share/metainfo/io.github.toppeek.TopPeek.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/toppeek.svg \
    usr/share/icons/hicolor/48x48/apps/toppeek.png usr/share/icons/hicolor/256x256/apps/toppeek.png \
    usr/share/man/man1/toppeek.1.gz; do
    [ -f "$root/$file" ] || fail "the package has no /$file"
done
appstreamcli validate --no-net "$root/usr/share/metainfo/io.github.toppeek.TopPeek.metainfo.xml" ||
    fail "appstreamcli refused the metainfo"
desktop-file-validate "$root/usr/share/applications/io.github.toppeek.TopPeek.desktop" ||
    fail "desktop-file-validate refused the desktop entry"
zcat "$root/usr/share/man/man1/toppeek.1.gz" | MANWIDTH=80 man -l --warnings -E UTF-8 - 2>"$work/man.log" >/dev/null
[ ! -s "$work/man.log" ] || { cat "$work/man.log"; fail "the manual page has faults"; }

depends=$(dpkg-deb -f "$deb" Depends)
grep -qE 'libqt6widgets6' <<<"$depends" || fail "the dependencies were not computed: $depends"
grep -qE -- '-dev\b|cmake|ninja|debhelper' <<<"$depends" && fail "a build tool among the dependencies: $depends"

if [ "$(id -u)" -ne 0 ] || ! command -v unshare >/dev/null; then
    echo "PASS (the installation needs root; not tried)"
    exit 0
fi

# The view of the machine the package is installed into: writes land in $work/upper.
mkdir -p "$work/upper" "$work/overlay" "$work/root"
cp "$deb" "$work/upper/toppeek.deb"
cp "$support/virtual-display.sh" "$work/upper/virtual-display.sh"
cat >"$work/upper/inside.sh" <<'INSIDE'
#!/usr/bin/env bash
# Runs inside the copy of the machine.
set -uo pipefail
fail() {
    echo "FAIL: $*"
    exit 1
}
export DEBIAN_FRONTEND=noninteractive HOME=/tmp/toppeek-home LANG=C.UTF-8 LANGUAGE=
unset XDG_CONFIG_HOME QT_QPA_PLATFORM WAYLAND_DISPLAY
mkdir -p "$HOME"
# Nothing may need fetching: the run-time libraries are on this machine already, and the build
# tools must not be among what the package needs.
apt-get install -s --no-install-recommends /toppeek.deb >/apt.log 2>&1 ||
    { cat /apt.log; fail "apt-get could not resolve the package's dependencies"; }
grep -A1 'NEW packages' /apt.log | tail -1 | grep -qE '^\s+toppeek\s*$' ||
    { cat /apt.log; fail "installing the package would pull in other packages"; }
apt-get install -y --no-install-recommends /toppeek.deb >/apt.log 2>&1 ||
    { cat /apt.log; fail "apt-get could not install the package"; }
dpkg -L toppeek >/installed.txt
env -u DISPLAY toppeek --version | grep -q '^TopPeek ' || fail "the installed program has no --version"
env -u DISPLAY toppeek --help | grep -q -- '--settings-dir' || fail "the installed program has no --help"

if [ "${1:-}" = --display ]; then
    toppeek >/toppeek.log 2>&1 &
    pid=$!
    find_window() {
        local id
        for _ in $(seq 1 150); do
            for id in $(xdotool search --onlyvisible --pid "$pid" --name "$1" 2>/dev/null); do
                echo "$id"
                return 0
            done
            kill -0 "$pid" 2>/dev/null || return 1
            sleep 0.2
        done
        return 1
    }
    main=$(find_window '^TopPeek - ') || { cat /toppeek.log; fail "the installed program showed no window"; }
    xdotool windowfocus --sync "$main"
    xdotool key --clearmodifiers F1
    find_window 'TopPeek Help' >/dev/null || { cat /toppeek.log; fail "F1 showed no guide"; }
    kill "$pid"
    wait "$pid" 2>/dev/null
fi

apt-get remove -y --purge toppeek >/remove.log 2>&1 || { cat /remove.log; fail "apt-get remove failed"; }
left=
while read -r path; do
    if [ -e "$path" ] && [ ! -d "$path" ]; then
        left="$left $path"
    fi
done </installed.txt
[ -z "$left" ] || fail "left behind after removal:$left"
dpkg-query -W -f='${Status}' toppeek 2>/dev/null | grep -q installed && fail "still installed"
exit 0
INSIDE
chmod +x "$work/upper/inside.sh" "$work/upper/virtual-display.sh"

display_args=()
if command -v Xvfb >/dev/null && command -v xdotool >/dev/null; then
    display_args=(/virtual-display.sh /inside.sh --display)
else
    display_args=(/inside.sh)
fi
unshare --mount --fork bash -c '
    set -e
    work=$1
    shift
    mount --make-rprivate /
    mount -t overlay overlay -o "lowerdir=/,upperdir=$work/upper,workdir=$work/overlay" "$work/root"
    mount -t proc proc "$work/root/proc"
    mount --rbind /dev "$work/root/dev"
    mount -t tmpfs tmpfs "$work/root/tmp"
    exec chroot "$work/root" "$@"
' _ "$work" env TOPPEEK_TEST_DISPLAY="${TOPPEEK_TEST_DISPLAY:-}" "${display_args[@]}" ||
    fail "installing, running or removing the package failed (see above)"
echo "PASS: $(basename "$deb") built, checked, installed, started and removed"
