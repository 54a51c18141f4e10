#!/usr/bin/env bash
# ./run.sh --demo without a display: tools/run-demo.sh on a build folder whose program is a
# stand-in that looks at what the script prepared for it. The demo server must serve both
# accounts' ways in, the program must trust the demo's authority through SSL_CERT_FILE without
# losing the system's, the arguments and the exit status must pass through, and the server must
# be gone once the program has exited.
#
#   run_demo_test.sh RUN_DEMO DEMO_SERVER DEMO_SETUP
set -euo pipefail

run_demo=$1
server=$(realpath "$2")
setup=$(realpath "$3")
if ! command -v openssl >/dev/null; then
    echo "SKIP: the openssl command is not installed"
    exit 77
fi

build=$(mktemp -d)
trap 'rm -rf "$build"' EXIT
mkdir -p "$build/bin/help"
ln -s "$server" "$build/bin/toppeek-demo-server"
ln -s "$setup" "$build/bin/toppeek-demo-setup"
cat >"$build/bin/toppeek" <<'STAND_IN'
#!/usr/bin/env bash
set -euo pipefail
demo=$(cd "$(dirname "$0")" && pwd)
report=$demo/../report
fail() {
    echo "FAIL: $*" >>"$report"
    exit 1
}
port=$(cat "$demo/port")
echo "$port" >"$demo/../port-seen"
echo "$*" >"$demo/../arguments-seen"

[ -n "${SSL_CERT_FILE:-}" ] || fail "SSL_CERT_FILE is not set"
ca=$demo/demo-ca.pem
[ -s "$ca" ] || fail "no demo authority"
cmp -s <(head -c "$(stat -c %s "$ca")" "$SSL_CERT_FILE") "$ca" ||
    fail "the trust file does not begin with the demo authority"
if [ -r /etc/ssl/certs/ca-certificates.crt ]; then
    [ "$(stat -c %s "$SSL_CERT_FILE")" -gt "$(stat -c %s /etc/ssl/certs/ca-certificates.crt)" ] ||
        fail "the system's authorities were left out"
fi

settings=$demo/toppeek-settings.dat
[ -s "$demo/toppeek-filters.dat" ] || fail "no filters file"
grep -qaF "127.0.0.1:$port" "$settings" || fail "no plain account"
grep -qaF "pop3+stls://127.0.0.1:$port" "$settings" || fail "no STARTTLS account"
grep -qaF "demo@example.org (STARTTLS)" "$settings" || fail "the STARTTLS account has no name"

# Both ways in, the secured one verified against the trust the program was given.
plain=$(exec 3<>"/dev/tcp/127.0.0.1/$port"
    printf 'USER demo\r\nPASS demo\r\nSTAT\r\nQUIT\r\n' >&3
    timeout 5 cat <&3)
grep -qE '^\+OK [0-9]+ [0-9]+' <<<"${plain//$'\r'/}" || fail "the plain way in: $plain"
secured=$( (sleep 0.5; printf 'USER demo\r\nPASS demo\r\nSTAT\r\nQUIT\r\n'; sleep 2) |
    timeout 10 openssl s_client -quiet -starttls pop3 -connect "127.0.0.1:$port" \
        -verify_return_error -verify_ip 127.0.0.1 2>&1) || true
grep -qE '^\+OK [0-9]+ [0-9]+' <<<"${secured//$'\r'/}" || fail "STLS: $secured"
echo "ok" >>"$report"
exit 3
STAND_IN
chmod +x "$build/bin/toppeek"

status=0
"$run_demo" "$build" --first "second argument" >"$build/output" 2>&1 || status=$?
fail() {
    echo "FAIL: $*"
    cat "$build/output" "$build/report" 2>/dev/null || true
    exit 1
}
[ "$(cat "$build/report" 2>/dev/null)" = ok ] || fail "the program's view"
[ "$status" -eq 3 ] || fail "the exit status was $status, not the program's 3"
[ "$(cat "$build/arguments-seen")" = "--first second argument" ] || fail "the arguments"
grep -q "STARTTLS" "$build/output" || fail "the STARTTLS account was not announced"
port=$(cat "$build/port-seen")
# The server stops with the program; give it a moment to close its socket.
for _ in $(seq 1 50); do
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        echo "PASS: the demo started, served both accounts and stopped with the program"
        exit 0
    fi
    sleep 0.1
done
fail "the demo server is still listening on $port"
