#!/usr/bin/env bash
# The long version of the hostile-server suite and of the crash-safe-files test, under
# AddressSanitizer and UBSan: every cut of the recorded conversations also as a reset and with the
# replies arriving byte by byte, whole conversations trickled, more garbage, TLS handshakes cut at
# every byte, and many more saves killed at random moments. ./test.sh runs the short version of
# both.
#
# Usage: scripts/hostile.sh [kill-trials]   (default 1000 kills per crash test)
# TOPPEEK_BUILD_DIR chooses the build tree (default build-test, the one ./test.sh uses).
set -euo pipefail
cd "$(dirname "$0")/.."

trials=${1:-1000}
build=${TOPPEEK_BUILD_DIR:-build-test}

cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOPPEEK_SANITIZE=ON -DTOPPEEK_WERROR=ON -DTOPPEEK_TESTS=ON
cmake --build "$build" -j "$(nproc)" --target operations_tests storage_tests

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TOPPEEK_HOSTILE_LONG=1
export TOPPEEK_KILL_TRIALS="$trials"

status=0
"$build/bin/operations_tests" --gtest_filter='HostileServerTest.*:HostileTlsServerTest.*' || status=1
"$build/bin/storage_tests" --gtest_filter='CrashSafeFiles.*' || status=1
exit $status
