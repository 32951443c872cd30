#!/usr/bin/env bash
# Every JSON document qavprof writes, in the layouts it has, checked
# against the schema it ships: those the end-to-end cases expect, and
# fresh ones of the bundled examples.
#   json_schema_check.sh QAVPROF SOURCE-DIR
set -euo pipefail
qavprof=$(realpath "$1") source=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$source/examples"
n=0
for flags in "" "-parse -percall" "-parse -eff" "-calls runs/new1.prof runs/new2.prof" \
             "-diff runs/old1.prof runs/new1.prof" "-parse -eff -diff qav.pprofout qav.pprofout" \
             "-diff runs/old1.prof -- runs/new1.prof runs/new2.prof" \
             "-space -diff runs/old1.prof runs/old2.prof -- runs/new1.prof runs/new2.prof runs/new3.prof" \
             "-history history/*" "-cycles -history history/c0*" "-history history/c01"; do
    n=$((n + 1))
    # shellcheck disable=SC2086
    "$qavprof" -q -json $flags >"$work/$n.json" 2>/dev/null
done
cd "$source/tests/e2e/prof"
expected=()
for case in */; do
    grep -q -- -json "$case/cmd" && [ -s "$case/stdout" ] && grep -q '^{' "$case/stdout" &&
        expected+=("$PWD/$case/stdout")
done
exec /usr/bin/python3 "$source/tests/json_schema_check.py" "$source/prof/qavprof.schema.json" \
    "$work"/*.json "${expected[@]}"
