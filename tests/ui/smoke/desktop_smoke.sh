#!/usr/bin/env bash
# Starts the built program on a virtual X display from a temporary copy with
# a prepared settings file, closes it with Alt+F4 and checks that it exited
# with status 0 after writing its settings file; and that without any display
# it refuses to start with a one-line message.
#
#   desktop_smoke.sh PROGRAM SETTINGS_TOOL
set -euo pipefail

if [ "${1:-}" = "--inside" ]; then
    # Runs on a virtual display of its own, with DISPLAY set to it.
    dir=$2
    "$dir/toppeek" >"$dir/output.txt" 2>&1 &
    pid=$!
    window=
    for _ in $(seq 1 240); do
        window=$(xdotool search --pid "$pid" --name '^TopPeek - ' 2>/dev/null | head -n 1 || true)
        [ -n "$window" ] && break
        if ! kill -0 "$pid" 2>/dev/null; then
            break
        fi
        sleep 0.25
    done
    if [ -z "$window" ]; then
        echo "FAIL: the program showed no main window"
        kill "$pid" 2>/dev/null || true
        wait "$pid" || true
        cat "$dir/output.txt"
        exit 1
    fi
    # There is no window manager to give the window the focus.
    xdotool windowfocus --sync "$window"
    xdotool key --clearmodifiers alt+F4
    for _ in $(seq 1 240); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.25
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "FAIL: the program is still running after Alt+F4"
        kill "$pid" 2>/dev/null || true
        wait "$pid" || true
        cat "$dir/output.txt"
        exit 1
    fi
    status=0
    wait "$pid" || status=$?
    if [ "$status" -ne 0 ]; then
        echo "FAIL: the program exited with status $status"
        cat "$dir/output.txt"
        exit 1
    fi
    exit 0
fi

program=$1
tool=$2
for needed in Xvfb xdotool; do
    if ! command -v "$needed" >/dev/null; then
        echo "SKIP: $needed is not installed"
        exit 77
    fi
done

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cp "$program" "$dir/toppeek"
settings="$dir/$("$tool" filename)"
"$tool" write "$settings" 127.0.0.1:1
before=$("$tool" selected "$settings")

# Without any display the program says so in one line and fails.
if message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$dir/toppeek" 2>&1); then
    echo "FAIL: the program started without a display"
    exit 1
fi
if [ "$(printf '%s\n' "$message" | grep -c .)" -ne 1 ]; then
    echo "FAIL: without a display the program said more than one line:"
    printf '%s\n' "$message"
    exit 1
fi

# The tests run on the offscreen platform; this one needs the real X one.
unset QT_QPA_PLATFORM
# libxkbcommon-x11 hands strndup a length past the end of a terminated
# text, which strict string checking reports although nothing is read out
# of bounds; the program's own code is checked strictly by the other tests.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/lsan.supp"
"$(dirname "$0")/../../support/virtual-display.sh" "$0" --inside "$dir"

after=$("$tool" selected "$settings")
if [ "$before" = "$after" ] || [ "$after" != "0" ]; then
    echo "FAIL: the settings file was not written at exit (selected account $before, then $after)"
    exit 1
fi
echo "PASS: the program started, closed on Alt+F4 with status 0 and wrote its settings"
