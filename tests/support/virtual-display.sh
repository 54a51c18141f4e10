#!/usr/bin/env bash
# Runs a command on a virtual X display of its own (1024x768, 24 bits) and ends the display
# afterwards; the command's exit status is this script's.
#
#   [TOPPEEK_TEST_DISPLAY=N] virtual-display.sh COMMAND [ARGS...]
#
# Tests that run at the same moment under ctest -j each name a display number of their own in
# TOPPEEK_TEST_DISPLAY. Letting concurrent servers look for a free number themselves ("xvfb-run
# -a", or Xvfb -displayfd without a number) races: two servers can settle on the same number,
# and the loser takes the winner's socket file away, so the program finds no display. Only when
# the named number is taken by someone else does Xvfb look for a free one.
#
# The server never resets (-noreset): by default it starts over whenever its last client leaves,
# and a test's first client is often a short xdotool query, so the program connecting in that
# moment found no display.
set -euo pipefail

if ! command -v Xvfb >/dev/null; then
    echo "virtual-display.sh: Xvfb is not installed" >&2
    exit 77
fi

work=$(mktemp -d)
xvfb_pid=
stop_xvfb() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    fi
}
trap 'stop_xvfb; rm -rf "$work"' EXIT

# Starts Xvfb on display $1 (any free one when empty) and sets display once it accepts
# clients, which is when it writes the number to its -displayfd. False when it did not start.
start_xvfb() {
    : >"$work/display"
    Xvfb ${1:+":$1"} -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
        3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 1 600); do
        if [ "$(wc -l <"$work/display")" -ge 1 ]; then
            display=$(tr -dc '0-9' <"$work/display")
            [ -n "$display" ] && return 0
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    stop_xvfb
    return 1
}

display=
if ! start_xvfb "${TOPPEEK_TEST_DISPLAY:-}" && { [ -z "${TOPPEEK_TEST_DISPLAY:-}" ] || ! start_xvfb ""; }; then
    echo "virtual-display.sh: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi

status=0
DISPLAY=":$display" "$@" || status=$?
if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
    echo "--- Xvfb on :$display"
    cat "$work/xvfb.log"
fi
exit "$status"
