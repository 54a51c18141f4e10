#!/usr/bin/env bash
# Builds the Debian package toppeek_<version>_<arch>.deb into build-deb/ with debhelper (debian/),
# from the working tree as it is. The Release build stays in build-deb/obj, so that a second run
# only recompiles what changed (and goes through ccache when it is installed).
#
#   scripts/build-deb.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
out=$source_dir/build-deb

if ! dpkg-checkbuilddeps 2>/dev/null; then
    dpkg-checkbuilddeps || true
    echo "Install the build dependencies first (scripts/install-deps.sh)." >&2
    exit 1
fi

mkdir -p "$out"
rm -f "$out"/toppeek_*.deb "$out"/toppeek-dbgsym_*.deb
cmake_options=
if command -v ccache >/dev/null; then
    cmake_options="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi

# What debhelper leaves in debian/ is removed again, so that the working tree stays clean.
tidy() {
    rm -rf debian/toppeek debian/.debhelper debian/tmp debian/files debian/*.substvars \
        debian/debhelper-build-stamp debian/*.debhelper.log
}
trap tidy EXIT

export TOPPEEK_BUILD_DIR=build-deb/obj TOPPEEK_DEB_DIR=$out TOPPEEK_CMAKE_OPTIONS="$cmake_options"
export DEB_BUILD_OPTIONS="nocheck noautodbgsym parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}"
# A stale stamp would make debhelper skip the build of a changed tree.
rm -f debian/debhelper-build-stamp
debian/rules build
fakeroot debian/rules binary
ls "$out"/toppeek_*.deb
