#!/usr/bin/env bash
# Installs what is missing, builds TopPeek and starts it. With --demo it starts it on a demo
# mailbox served from 127.0.0.1, in a folder of its own (tools/run-demo.sh).
set -euo pipefail
cd "$(dirname "$0")"

demo=0
if [ "${1:-}" = "--demo" ]; then
  demo=1
  shift
fi

./scripts/install-deps.sh

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOPPEEK_TESTS=OFF -DTOPPEEK_BENCH=OFF
cmake --build "$build" -j "$(nproc)"

if [ "$demo" = 1 ]; then
  exec ./tools/run-demo.sh "$build" "$@"
fi
if [ -x "$build/bin/toppeek" ]; then
  exec "$build/bin/toppeek" "$@"
fi
echo "Built the libraries; the program's window is not ready yet, so there is nothing to start."
