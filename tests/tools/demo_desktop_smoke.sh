#!/usr/bin/env bash
# The demo on a real (virtual) X display: the demo server serves the shipped demo mailbox, the
# program starts from a temporary copy with the demo's settings and filters, checks the
# mailbox on F2, and on Alt+F4 asks whether to remove the messages its filters marked; the
# answer Yes must delete exactly the spam on the server before the program exits with 0.
# With "stls" the account reaches the server over STLS, trusting the authority the demo server
# made at its start through SSL_CERT_FILE, as ./run.sh --demo does for its second account.
#
#   demo_desktop_smoke.sh PROGRAM DEMO_SERVER DEMO_SETUP MAILBOX_FOLDER [stls]
set -euo pipefail

# Waits up to 60 s for a command to succeed.
wait_for() {
    for _ in $(seq 1 240); do
        if "$@"; then
            return 0
        fi
        sleep 0.25
    done
    return 1
}

if [ "${1:-}" = "--inside" ]; then
    # Runs on a virtual display of its own, with DISPLAY set to it.
    dir=$2
    log=$dir/server.log
    "$dir/toppeek" >"$dir/output.txt" 2>&1 &
    pid=$!
    give_up() {
        echo "FAIL: $*"
        kill "$pid" 2>/dev/null || true
        wait "$pid" || true
        echo "--- program output"
        cat "$dir/output.txt"
        echo "--- server log"
        cat "$log" 2>/dev/null || true
        exit 1
    }
    # The first visible window of the program whose whole title matches $1 (xdotool's own
    # search also matches other names of a window).
    find_window() {
        window=
        local candidate
        for candidate in $(xdotool search --onlyvisible --pid "$pid" --name "$1" 2>/dev/null); do
            if xdotool getwindowname "$candidate" 2>/dev/null | grep -qE -- "$1"; then
                window=$candidate
                break
            fi
        done
        [ -n "$window" ] || ! kill -0 "$pid" 2>/dev/null
    }
    find_window '^TopPeek - ' || true
    wait_for find_window '^TopPeek - ' || true
    [ -n "$window" ] || give_up "the program showed no main window"
    main=$window

    # There is no window manager to give the window the focus.
    xdotool windowfocus --sync "$main"
    xdotool key --clearmodifiers F2
    wait_for grep -q '^1 ended with QUIT' "$log" || give_up "F2 did not check the demo mailbox"

    xdotool windowfocus --sync "$main"
    xdotool key --clearmodifiers alt+F4
    # The question about the marked messages is a box titled with the program's name.
    window=
    wait_for find_window '^TopPeek$' || true
    [ -n "$window" ] && kill -0 "$pid" 2>/dev/null || give_up "no question about the marked messages"
    xdotool windowfocus --sync "$window"
    xdotool key --clearmodifiers Return
    wait_for grep -q '^2 ended with QUIT' "$log" || give_up "Yes did not remove the marked messages"

    wait_for eval '! kill -0 "$pid" 2>/dev/null' || give_up "the program is still running"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || give_up "the program exited with status $status"
    exit 0
fi

program=$1
server=$2
setup=$3
mailbox=$4
secured=${5:-}
for needed in Xvfb xdotool; do
    if ! command -v "$needed" >/dev/null; then
        echo "SKIP: $needed is not installed"
        exit 77
    fi
done

dir=$(mktemp -d)
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
cp "$program" "$dir/toppeek"
tls=()
if [ "$secured" = stls ]; then
    tls=(--tls-authority "$dir/demo-ca.pem")
fi
"$server" --port-file "$dir/port" --log "$dir/server.log" "${tls[@]}" "$mailbox" >/dev/null &
server_pid=$!
wait_for test -s "$dir/port" || { echo "FAIL: the demo server did not start"; exit 1; }
port=$(cat "$dir/port")
if [ "$secured" = stls ]; then
    [ -s "$dir/demo-ca.pem" ] || { echo "FAIL: the demo server made no authority"; exit 1; }
    export SSL_CERT_FILE=$dir/demo-ca.pem
    "$setup" "$dir" "pop3+stls://127.0.0.1:$port"
else
    "$setup" "$dir" "127.0.0.1:$port"
fi

# The tests run on the offscreen platform; this one needs the real X one.
unset QT_QPA_PLATFORM
# As in the desktop smoke test: libxkbcommon-x11 trips strict string checking harmlessly.
if [ -n "${ASAN_OPTIONS:-}" ]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(dirname "$0")/../ui/smoke/lsan.supp"
"$(dirname "$0")/../support/virtual-display.sh" "$0" --inside "$dir"

log=$dir/server.log
fail() {
    echo "FAIL: $*"
    cat "$log"
    exit 1
}
if [ "$secured" = stls ]; then
    # Secured before the first credential, and again for the removal.
    for session in 1 2; do
        sed -n "s/^$session \(STLS\|secured with TLS.*\|USER.*\|APOP.*\)$/\1/p" "$log" | head -3 |
            sed 's/ .*//' | tr '\n' ' ' | grep -qE '^STLS secured (USER|APOP) $' ||
            fail "session $session was not secured before it logged in"
    done
else
    grep -q '^1 APOP demo ' "$log" || fail "the demo account did not log in with APOP"
fi
checked=$(grep -c '^1 TOP [0-9]* 0$' "$log" || true)
total=$(ls "$mailbox"/*.eml | wc -l)
[ "$checked" -eq "$total" ] || fail "the check read $checked of $total headers"
# The filters mark the ten spam messages of the demo mailbox (one of them only by its decoded
# subject).
deleted=$(grep -c '^2 DELE ' "$log" || true)
[ "$deleted" -eq 10 ] || fail "the program removed $deleted messages instead of the 10 spam ones"
grep -q "^2 ended with QUIT, $((total - 10)) left" "$log" || fail "the server did not end with the rest"
[ -s "$dir/toppeek-settings.dat" ] || fail "no settings file beside the program"
if [ "${TOPPEEK_DEMO_KEYRING:-}" = check ]; then
    # Run on a private bus with a keyring of its own (with-keyring.sh): the demo must have left it
    # alone. The keyring must work for the look-up to mean anything.
    echo -n probe | secret-tool store --label="TopPeek test probe" user probe server probe ||
        fail "the test's keyring does not take an item"
    [ "$(secret-tool lookup user probe server probe)" = probe ] || fail "the test's keyring does not answer"
    key=$'demo@example.org\n'"127.0.0.1:$port"$'\ndemo'
    if secret-tool lookup user "$key" >/dev/null 2>&1; then
        fail "the demo put its password into the desktop's keyring"
    fi
fi
echo "PASS: the demo mailbox was checked, its spam marked and removed, and the program exited"
