#!/usr/bin/env bash
# Runs each fuzz target for a bounded time, seeded from the examples and
# the end-to-end cases; fails on any crash, hang or sanitizer report.
# Usage: fuzz/run.sh BUILD_DIR [SECONDS]   (default 60 seconds a target)
set -eu
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-60}
work=$build/fuzz-run
rm -rf "$work"
mkdir -p "$work"/{profile,convert,artifacts}

# The first byte of a profile input picks the options: criterion (low
# three bits), parse profile (8), per-call layout (16).
n=0
for file in "$source_dir"/examples/qav.*profout "$source_dir"/tests/e2e/prof/*/files/*; do
    [ -f "$file" ] || continue
    for options in '\x00' '\x0a' '\x13' '\x1c'; do
        n=$((n + 1))
        { printf "$options"; head -c 8000 "$file"; } >"$work/profile/seed$n"
    done
done
for file in "$source_dir"/examples/*.CQav "$source_dir"/tests/e2e/cvt/*/files/*; do
    [ -f "$file" ] || continue
    n=$((n + 1))
    { printf '\x00'; head -c 8000 "$file"; } >"$work/convert/seed$n"
    { printf '\x03'; head -c 8000 "$file"; } >"$work/convert/seed$n-limit"
    { printf '\x02'; head -c 8000 "$file"; } >"$work/convert/seed$n-string"
    { printf '\x04'; head -c 16000 /dev/urandom; } >"$work/convert/seed$n-vectors"
    { printf '\x0c'; head -c 16000 /dev/urandom; } >"$work/convert/seed$n-avx2"
done

status=0
for target in profile convert; do
    echo "== ${target}_fuzz for ${seconds}s"
    if ! "$build/bin/${target}_fuzz" -max_total_time="$seconds" -max_len=16384 \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/$target" 2>"$work/$target.log"; then
        status=1
        tail -n 40 "$work/$target.log"
        echo "FAIL: ${target}_fuzz; inputs kept in $work/artifacts"
    else
        grep -E 'stat::number_of_executed_units|cov:' "$work/$target.log" | tail -n 2
    fi
done
exit $status
