#!/usr/bin/env bash
# Runs the sign-in tests on a virtual X display of their own: Qt opens the browser through its
# desktop services, which the offscreen platform lacks.
set -euo pipefail
here=$(dirname "$0")
# libxkbcommon-x11 hands strndup a length past the end of a terminated text, which strict string
# checking reports although nothing is read out of bounds.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$here/../ui/smoke/lsan.supp"
export QT_QPA_PLATFORM=xcb
exec "$here/../support/virtual-display.sh" "$@"
