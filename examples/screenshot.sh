#!/usr/bin/env bash
# Makes examples/report.png, the picture of the page that
# "qavprof -parse -html" makes of the bundled parse profile, and
# examples/history.png, that of "qavprof -html -history c*" on the bundled
# history, with headless Chromium.
#   Usage: examples/screenshot.sh [BIN_DIR]   (default build/bin)
set -eu
examples=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$examples/../build/bin}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$examples" && "$bin/qavprof" -parse -top 16 -html) >"$work/report.html" 2>/dev/null
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --hide-scrollbars --window-size=1280,600 \
    --screenshot="$examples/report.png" "file://$work/report.html" >/dev/null 2>&1
echo "wrote $examples/report.png"
(cd "$examples/history" && "$bin/qavprof" -q -html -history c*) >"$work/history.html" 2>/dev/null
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --hide-scrollbars --window-size=1280,420 \
    --screenshot="$examples/history.png" "file://$work/history.html" >/dev/null 2>&1
echo "wrote $examples/history.png"
