#!/usr/bin/env bash
# Starts the program on the demo mailbox: a copy of the built program with its guide in a demo
# folder of its own (so that the user's own settings and filters are never touched), the demo
# server on a free port of 127.0.0.1, and the demo's settings and filters files pointing at it.
# The server stops when the program exits. Called by ./run.sh --demo after the build.
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

"$build/bin/toppeek-demo-server" --port-file "$demo/port" "$source_dir/demo/mailbox" >/dev/null &
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
"$build/bin/toppeek-demo-setup" "$demo" "127.0.0.1:$port"

echo "Demo mailbox of demo@example.org on 127.0.0.1:$port (user demo, password demo)."
echo "Press F2 to check it; the filters mark the spam. The program and its files are in $demo."
status=0
"$demo/toppeek" "$@" || status=$?
exit "$status"
