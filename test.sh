#!/usr/bin/env bash
# Installs what is missing, builds a separate tree with AddressSanitizer and
# UBSan, and runs every test. Exits non-zero when any test fails.
#
#   ./test.sh          every test, the fuzz targets' short run included
#   ./test.sh --quick  for day-to-day work: leaves out the fuzz run and the tests
#                      labelled "long" (the real-server, hostile-server and
#                      desktop suites); the same as `ctest -LE long` in build-test
set -euo pipefail
cd "$(dirname "$0")"

quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  *)
    echo "usage: $0 [--quick]" >&2
    exit 2
    ;;
esac

./scripts/install-deps.sh

build=build-test
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTOPPEEK_SANITIZE=ON -DTOPPEEK_WERROR=ON -DTOPPEEK_TESTS=ON -DTOPPEEK_BENCH=ON
cmake --build "$build" -j "$(nproc)"

# A short run of every fuzz target, before ctest so that its summary stays the last thing shown.
fuzz_status=0
if [ "$quick" -eq 0 ]; then
  ./scripts/fuzz.sh 10 || fuzz_status=$?
fi

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cd "$build"
selection=()
if [ "$quick" -eq 1 ]; then
  selection=(-LE long)
fi
ctest --output-on-failure --timeout 600 -j "$(nproc)" "${selection[@]}"
if [ "$fuzz_status" -ne 0 ]; then
  echo "The fuzz targets failed (see above)." >&2
  exit "$fuzz_status"
fi
