#!/usr/bin/env bash
# Starts the program on the demo mailbox: a copy of the built program with its guide in a demo
# folder of its own (so that the user's own settings and filters are never touched), the demo
# server on a free port of 127.0.0.1, and the demo's settings and filters files pointing at it:
# one account in the clear and, when the server could make its certificate, one for the same
# mailbox secured with STLS. The program trusts the demo's certificate authority (made afresh by
# the server at every start) besides the system's. The server stops when the program exits.
# Called by ./run.sh --demo after the build.
#
#   tools/run-demo.sh BUILD_DIR [PROGRAM_ARGUMENTS...]
set -euo pipefail

build=$1
shift
source_dir=$(cd "$(dirname "$0")/.." && pwd)
demo=$build/demo

for needed in toppeek toppeek-demo-server toppeek-demo-setup; do
    if [ ! -x "$build/bin/$needed" ]; then
        echo "The demo needs $build/bin/$needed, which the build did not make." >&2
        exit 1
    fi
done

# Every start is a fresh demo: the server serves the whole mailbox again.
rm -rf "$demo"
mkdir -p "$demo"
cp "$build/bin/toppeek" "$demo/toppeek"
cp -r "$build/bin/help" "$demo/help"

server_pid=
stop_server() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
        server_pid=
    fi
}
trap stop_server EXIT
trap 'exit 130' INT TERM

"$build/bin/toppeek-demo-server" --port-file "$demo/port" --tls-authority "$demo/demo-ca.pem" \
    "$source_dir/demo/mailbox" >/dev/null &
server_pid=$!
for _ in $(seq 1 100); do
    [ -s "$demo/port" ] && break
    if ! kill -0 "$server_pid" 2>/dev/null; then
        echo "The demo server did not start." >&2
        exit 1
    fi
    sleep 0.1
done
if [ ! -s "$demo/port" ]; then
    echo "The demo server did not start." >&2
    exit 1
fi
port=$(cat "$demo/port")

# The server writes its authority's certificate before the port, or not at all when it serves
# without STLS; then the demo has the plain account only.
secured=()
if [ -s "$demo/demo-ca.pem" ]; then
    # SSL_CERT_FILE replaces the system's trust store for the program, so the system's
    # authorities go along with the demo's.
    trust=$demo/trust.pem
    cp "$demo/demo-ca.pem" "$trust"
    for system_bundle in /etc/ssl/certs/ca-certificates.crt /etc/pki/tls/certs/ca-bundle.crt \
        /etc/ssl/cert.pem; do
        if [ -r "$system_bundle" ]; then
            cat "$system_bundle" >>"$trust"
            break
        fi
    done
    export SSL_CERT_FILE=$trust
    secured=("pop3+stls://127.0.0.1:$port")
fi
"$build/bin/toppeek-demo-setup" "$demo" "127.0.0.1:$port" "${secured[@]}"

echo "Demo mailbox of demo@example.org on 127.0.0.1:$port (user demo, password demo)."
if [ ${#secured[@]} -gt 0 ]; then
    echo "The account \"demo@example.org (STARTTLS)\" reaches it over STLS, with a certificate the"
    echo "demo made at start (trusted through $trust)."
fi
echo "Press F2 to check it; the filters mark the spam. The program and its files are in $demo."
status=0
"$demo/toppeek" "$@" || status=$?
exit "$status"
