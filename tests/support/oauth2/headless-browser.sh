#!/bin/sh
# Stands in for the user's web browser in the sign-in tests, as $BROWSER: the real headless
# Chromium loads the authorization page and follows its redirect to the program's loopback
# listener. A profile of its own, removed afterwards; no sandbox, since the tests run as root.
profile=$(mktemp -d "${TMPDIR:-/tmp}/toppeek-browser.XXXXXX")
trap 'rm -rf "$profile"' EXIT
chromium --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$profile" \
  --dump-dom "$1" > "$profile/page.html" 2> /dev/null
if [ -n "${TOPPEEK_BROWSER_LOG:-}" ]; then
  cat "$profile/page.html" >> "$TOPPEEK_BROWSER_LOG"
fi
