#!/usr/bin/env bash
# Runs two builds of the tools on the same random inputs and checks that
# their output is byte for byte the same.
# Usage: same_output.sh BIN_DIR_A BIN_DIR_B
set -eu
a=$(cd "$1" && pwd)
b=$(cd "$2" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
passed=0 failed=0

same() {  # same DESCRIPTION OUTPUT_FILE_A OUTPUT_FILE_B
    if cmp -s "$2" "$3"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $1"
    fi
}

for seed in 1 2 3 4 5 6; do
    awk -v seed=$seed 'BEGIN {
        srand(seed); print "random profile"
        for (i = 1; i <= 500; i++) {
            printf "%s%d", (i % 5 == 0 ? "list__r" : i % 7 == 0 ? "repeat__r" : "r"), i
            for (k = 0; k < 7; k++) {
                x = rand()
                printf " %d", x < 0.3 ? int(rand() * 4) : x < 0.9 ? int(rand() * 4294967296) : int(rand() * 1000)
            }
            printf "\n"
        }
    }' >profile
    # Other runs of the same rules, for comparisons and merges of runs.
    for run in 1 2 3 4; do
        awk -v seed=$((seed * 10 + run)) '{ srand(seed + NR); if (NR > 1) $6 = int($6 * (0.9 + rand() * 0.2)); print }' \
            profile >run$run
    done
    for flags in "-diff run1 -json" "-diff run1 -diff run2 -diff run3 -diff run4 profile run2 run3 run4" \
                 "-md profile run1" "-eff -diff run1 -html" "-csv -percall profile run1 run2" \
                 "-json -diff run1 -diff run2 profile run3" "-csv -eff -parse -diff run1 run2 -- profile run3"; do
        # shellcheck disable=SC2086
        "$a/qavprof" -q $flags >a.out 2>a.err || true
        # shellcheck disable=SC2086
        "$b/qavprof" -q $flags >b.out 2>b.err || true
        same "qavprof $flags (seed $seed)" a.out b.out
        same "qavprof $flags messages (seed $seed)" a.err b.err
    done
    # A history of eight points, of one run or two: the runs above, and
    # the same with one rule slower from the fifth point.
    for run in 1 2 3 4; do
        awk -v seed=$((seed * 10 + run)) 'NR == 8 { $6 = int($6 * 1.3) } { print }' run$run >late$run
    done
    mkdir -p p2 p5
    cp run1 run2 p2/; cp late3 late4 p5/
    for flags in "-history profile p2 run3 run4 p5 late1 late2 late3" \
                 "-json -history run1 run2 run3 run4 late1 late2 late3 late4" \
                 "-csv -calls -history profile p2 p5 late1"; do
        # shellcheck disable=SC2086
        "$a/qavprof" -q $flags >a.out 2>a.err || true
        # shellcheck disable=SC2086
        "$b/qavprof" -q $flags >b.out 2>b.err || true
        same "qavprof $flags (seed $seed)" a.out b.out
        same "qavprof $flags messages (seed $seed)" a.err b.err
    done
    for flags in -time -space -calls -cycles -eff "-percall -cycles"; do
        for kind in "" -parse; do
            "$a/qavprof" $flags $kind profile >a.out 2>a.err || true
            "$b/qavprof" $flags $kind profile >b.out 2>b.err || true
            same "qavprof $flags $kind (seed $seed)" a.out b.out
            same "qavprof $flags $kind messages (seed $seed)" a.err b.err
        done
    done
    head -c $((seed * 100003)) /dev/urandom >prog.CQav
    "$a/qavcvt" -e prog.CQav && mv prog_QAV.c a.c
    "$b/qavcvt" -e prog.CQav && mv prog_QAV.c b.c
    same "qavcvt (seed $seed)" a.c b.c
    "$a/qavcvt" -string -header -align 64 -len -o out.c prog.CQav && cat out.c out.h >a.c
    "$b/qavcvt" -string -header -align 64 -len -o out.c prog.CQav && cat out.c out.h >b.c
    same "qavcvt -string -header (seed $seed)" a.c b.c
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
