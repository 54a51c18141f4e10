#!/usr/bin/env bash
# The program's command line without a desktop: help, version and mistakes are told on the
# terminal with their exit status, and the window that cannot be shown is said in one line.
#
#   command_line_test.sh PROGRAM
set -uo pipefail

program=$1
fail() {
    echo "FAIL: $*"
    exit 1
}
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LANGUAGE= LC_ALL=C.UTF-8 "$program" "$@"
}

out=$(run --version 2>&1)
[ $? -eq 0 ] || fail "--version failed: $out"
[[ $out =~ ^TopPeek\ [0-9]+\.[0-9]+ ]] || fail "--version said: $out"

out=$(run --help 2>&1)
[ $? -eq 0 ] || fail "--help failed: $out"
for option in --help --version --settings-dir; do
    grep -q -- "$option" <<<"$out" || fail "--help does not list $option: $out"
done

# The language follows the desktop's: LANGUAGE first, else LC_MESSAGES; English stays English.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LC_ALL LANGUAGE=fr:de LANG=C.UTF-8 \
    "$program" --help 2>&1)
grep -q "Diese Hilfe" <<<"$out" || fail "LANGUAGE=fr:de did not give the German help: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LC_ALL -u LANGUAGE LANG=C.UTF-8 \
    LC_MESSAGES=de_DE.UTF-8 "$program" --help 2>&1)
grep -q "Diese Hilfe" <<<"$out" || fail "LC_MESSAGES=de_DE did not give the German help: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LC_ALL LANGUAGE=en:de LANG=de_DE.UTF-8 \
    "$program" --help 2>&1)
grep -q "Show this help" <<<"$out" || fail "LANGUAGE=en:de did not give the English help: $out"

out=$(run --no-such-option 2>&1)
[ $? -eq 2 ] || fail "an unknown option did not end with status 2: $out"
grep -q -- "no-such-option" <<<"$out" || fail "the unknown option is not named: $out"

out=$(run 2>&1)
[ $? -eq 1 ] || fail "without a display the program did not end with status 1: $out"
grep -q "no display" <<<"$out" || fail "the missing display is not said: $out"
echo "PASS"
