#!/usr/bin/env bash
# Builds the libFuzzer targets in a tree of their own (build-fuzz, clang 14 with AddressSanitizer
# and UBSan) and runs every target for the given number of seconds (60 by default), starting
# from its seed corpus in fuzz/corpus. Fails when any target reports a crash, a hang, a leak or
# a sanitizer error; prints the executions each target reached.
#
#   scripts/fuzz.sh [seconds]
#
# The seeds are copied into a working corpus under the build tree, which keeps growing from one
# run to the next; the repository is never written to. Inputs that failed are kept beside the
# log of their target in build-fuzz/fuzz-run/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: scripts/fuzz.sh [seconds per target]" >&2
  exit 2
fi

./scripts/install-deps.sh

build=build-fuzz
cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DTOPPEEK_FUZZ=ON -DTOPPEEK_SANITIZE=ON -DTOPPEEK_TESTS=OFF -DTOPPEEK_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

run_root=$(pwd)/$build/fuzz-run
mkdir -p "$run_root"
failed=()
summary=()
for binary in "$build"/fuzz/fuzz_*; do
  [ -x "$binary" ] || continue
  name=${binary##*/fuzz_}
  work=$run_root/$name
  mkdir -p "$work/corpus"
  # The file targets save what they loaded on every input; on a memory file system the
  # flushes that make a save durable cost nothing.
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    scratch=$(mktemp -d /dev/shm/toppeek-fuzz.XXXXXX)
  else
    scratch=$(mktemp -d "$work/tmp.XXXXXX")
  fi
  if [ -d "fuzz/corpus/$name" ]; then
    cp -n "fuzz/corpus/$name"/* "$work/corpus/" 2>/dev/null || true
  fi
  # Longer inputs where a limit of the code lies beyond libFuzzer's default length.
  extra=()
  case "$name" in
    headers) extra=(-max_len=20000) ;;
    read_until) extra=(-max_len=24000) ;;
  esac
  log=$work/fuzz.log
  echo "== fuzz_$name: ${seconds} s"
  status=0
  TMPDIR=$scratch "$binary" "$work/corpus" -max_total_time="$seconds" -timeout=25 \
    -print_final_stats=1 -artifact_prefix="$work/" "${extra[@]}" >"$log" 2>&1 || status=$?
  rm -rf "$scratch"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  if [ "$status" -ne 0 ] || grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|libFuzzer)|runtime error:|property broken' "$log"; then
    failed+=("$name")
    echo "fuzz_$name FAILED (exit $status); log: $log"
    grep -E 'ERROR|runtime error|property broken|Test unit written|SUMMARY' "$log" | head -n 20 || true
    summary+=("$(printf '%-14s %14s execs %8s/s  FAILED' "$name" "${execs:-?}" "${rate:-?}")")
  else
    summary+=("$(printf '%-14s %14s execs %8s/s  ok' "$name" "${execs:-?}" "${rate:-?}")")
  fi
done

echo "== fuzzing summary (${seconds} s per target)"
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz targets failed: ${failed[*]}" >&2
  exit 1
fi
