#!/usr/bin/env bash
# Installs what is missing, builds TopPeek and starts it.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

build=build
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTOPPEEK_TESTS=OFF -DTOPPEEK_BENCH=OFF
cmake --build "$build" -j "$(nproc)"

if [ -x "$build/bin/toppeek" ]; then
  exec "$build/bin/toppeek" "$@"
fi
echo "Built the libraries; the program's window is not ready yet, so there is nothing to start."
