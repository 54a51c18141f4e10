#!/usr/bin/env bash
# Builds a release tree (build-bench, without the tests) and runs every benchmark figure in one
# go: build-bench/bin/bench_all, which prints its runs and then a table of medians beside
# python3's poplib, with each target met or missed. Dovecot needs root, so this runs as root.
#
# Usage: scripts/bench.sh [runs] [spread]   (default 5 runs; "spread" lets the processes use
#                                            every processor instead of one)
# TOPPEEK_BENCH_DIR chooses the build tree (default build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
  echo "scripts/bench.sh: run as root (Dovecot switches to the mail owner after login)" >&2
  exit 1
fi

build=${TOPPEEK_BENCH_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=Release -DTOPPEEK_TESTS=OFF -DTOPPEEK_BENCH=ON -DTOPPEEK_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)" --target bench_all

echo "Machine: $(nproc) processors, $(lscpu | sed -n 's/^Model name: *//p' | head -n 1)"
echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "Load average before the run: $(cut -d " " -f 1-3 /proc/loadavg)"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
# Qt's notes about the offscreen platform are not figures.
"$build/bin/bench_all" "$@" 2> >(grep -v -e propagateSizeHints -e XDG_RUNTIME_DIR >&2)
