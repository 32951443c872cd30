#!/usr/bin/env bash
# Speed and memory of the tools beside what a user would otherwise reach
# for, on inputs this script makes itself, for each build given. Commands
# are timed by bench/timeit.c: whole processes, run in turn round after
# round (A B A B ...), reported as medians and paired median ratios, with
# old outputs removed outside the timing.
# Usage: bench/bench.sh [BIN_DIR...]   (default build/bin, and build-i386/bin
# when it exists). ROUNDS sets the rounds of the short commands (41),
# BUILD_ROUNDS those of the compilers (3), BUILD_MIB the sizes they compile
# ("1 4 16").
set -eu
here=$(cd "$(dirname "$0")" && pwd)
if [ $# -eq 0 ]; then
    set -- "$here/../build/bin"
    [ -x "$here/../build-i386/bin/qavprof" ] && set -- "$@" "$here/../build-i386/bin"
fi
rounds=${ROUNDS:-41}
build_rounds=${BUILD_ROUNDS:-3}
dirs=()
for dir in "$@"; do dirs+=("$(cd "$dir" && pwd)"); done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -o "$work/timeit" "$here/timeit.c"
cc -O2 -o "$work/writefloor" "$here/writefloor.c"
timeit=$work/timeit
cd "$work"

echo "machine: $(nproc) cores, $(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -n 1)"
head -c 1024 /dev/urandom >small.CQav
head -c $((64 * 1024 * 1024)) /dev/urandom >big.CQav
awk 'BEGIN { print "QAV profile"; for (i = 1; i <= 4096; i++)
    printf "rule_%d %d %d %d %d %d %d %d\n", i, i, i, i, i, i, i, i }' >reverse.prof
awk 'BEGIN { print "QAV profile"; for (i = 1; i <= 4096; i++)
    printf "rule_%d %d %d %d %d %d %d %d\n", i, i, i, i, i, i, int(100000000 / i), i }' >reverse-eff.prof

for dir in "${dirs[@]}"; do
    bin=$(cd "$dir" && pwd)
    echo
    echo "== $bin ($(file -b "$bin/qavcvt" | cut -d, -f1-2))"
    echo "-- qavcvt, 1 KiB (first/this: qavcvt's time over xxd's; target at most 1.0)"
    "$timeit" "$rounds" -- @rm=small_QAV.c "$bin/qavcvt" small.CQav \
        -- @out=xxd.c xxd -i small.CQav
    "$bin/qavcvt" big.CQav
    size=$(stat -c %s big_QAV.c)
    echo "-- qavcvt, 64 MiB into a new file beside the write floor ($((size / 1048576)) MiB in 1 MiB writes, then also with space reserved ahead as qavcvt does; target at most 1.5 beside the first)"
    "$timeit" 21 -- @rm=big_QAV.c "$bin/qavcvt" big.CQav -- @rm=floor.c ./writefloor "$size" floor.c \
        -- @rm=floor.c ./writefloor "$size" floor.c reserve
    echo "-- qavcvt, 64 MiB into a new file, which it flushes to the disk before renaming, beside the write floor with the same flush and without (the flush's cost: the third's time over the second's)"
    "$timeit" 21 -- @rm=big_QAV.c "$bin/qavcvt" big.CQav -- @rm=floor.c ./writefloor "$size" floor.c reserve sync \
        -- @rm=floor.c ./writefloor "$size" floor.c reserve
    echo "-- qavcvt, 64 MiB beside xxd -i (target: this/first at least 30)"
    "$timeit" 3 -- @rm=big_QAV.c "$bin/qavcvt" big.CQav -- @out=xxd.c xxd -i big.CQav
    rm -f big_QAV.c floor.c xxd.c
    echo "-- qavprof, 4096 records in reverse order, beside sort -k6,6nr (target at most 1.0 native, 1.3 i386)"
    for criterion in -time -space -calls -cycles "-eff -parse" "-time -percall" "-parse -percall"; do
        file=reverse.prof
        [ "$criterion" = "-eff -parse" ] && file=reverse-eff.prof
        echo "   $criterion"
        # shellcheck disable=SC2086
        "$timeit" "$rounds" -- "$bin/qavprof" $criterion $file -- sort -k6,6nr $file
    done
    echo "-- qavprof -html, 4096 records: to standard output, with -o into a new file (flushed to the disk, then renamed), and with -o in place (a file with a second name)"
    : >inplace.html
    ln -f inplace.html inplace-link.html
    "$timeit" "$rounds" -- @out=page.html "$bin/qavprof" -q -html reverse.prof \
        -- @rm=new.html "$bin/qavprof" -q -html -o new.html reverse.prof \
        -- "$bin/qavprof" -q -html -o inplace.html reverse.prof
    rm -f page.html new.html inplace.html inplace-link.html
done

# qavprof across repeated runs: 3 + 3 and 30 + 30 profiles of 4096 records
# compared, and 6 and 60 merged; the time should grow with the records
# (target: the larger at most about 12 times the smaller).
awk 'BEGIN { srand(7); for (r = 1; r <= 60; r++) { file = "run" r ".prof"
    print "QAV match profile: name calls matched searches matches time nodes cells" >file
    for (i = 1; i <= 4096; i++)
        printf "rule_%d %d 1 1 1 %d 1 1\n", i, i, i * 100 + int(rand() * 50) >file
    close(file) } }'
few=() many=()
for r in 1 2 3; do few+=(-diff run$r.prof); done
for r in 4 5 6; do few+=(run$r.prof); done
for r in $(seq 1 30); do many+=(-diff run$r.prof); done
for r in $(seq 31 60); do many+=(run$r.prof); done
for dir in "${dirs[@]}"; do
    echo
    echo "-- $dir/qavprof, 3 + 3 against 30 + 30 runs compared, 6 against 60 merged (first/this: the small one's time over the large one's; target at least 1/12)"
    "$timeit" 11 -- @name="3+3" "$dir/qavprof" -q "${few[@]}" -- @name="30+30" "$dir/qavprof" -q "${many[@]}"
    "$timeit" 11 -- @name="6" "$dir/qavprof" -q run{1..6}.prof -- @name="60" "$dir/qavprof" -q run{1..60}.prof
done

# qavprof -history: 100 points of 5 runs of 500 rules (500 files), and 50
# points, whose time and memory should be about half (they grow with the
# history, not with its square); target: the 100 points under 2 s.
awk 'BEGIN { srand(11); for (g = 1; g <= 500; g++) size[g] = int(10 ^ (2 + 4 * rand()))
    for (t = 1; t <= 100; t++) { point = sprintf("point%03d", t); system("mkdir -p " point)
        for (r = 1; r <= 5; r++) { file = point "/run" r ".prof"
            print "QAV match profile: name calls matched searches matches time nodes cells" >file
            for (g = 1; g <= 500; g++)
                printf "rule_%d 10 1 1 1 %d 1 1\n", g, size[g] * (g <= 10 && t > 50 ? 1.15 : 1) * (0.95 + rand() / 10) >file
            close(file) } } }'
for dir in "${dirs[@]}"; do
    echo
    echo "-- $dir/qavprof -history, 50 against 100 points of 5 runs of 500 rules (first/this: 50 points' time over 100's; target about 1/2, and the 100 points under 2 s)"
    "$timeit" 11 -- @name="50 points" "$dir/qavprof" -q -history point0[0-4]* point050 \
        -- @name="100 points" "$dir/qavprof" -q -history point*
done

# A year of CI: 1000 points of 5 runs of 4096 rules (5000 files, about
# 790 MB, made by history_gen.c and removed after), beside a history of
# 250 points made alike.
# Targets: the 1000 points in at most 8 s and 250 MB, and at most 4.8
# times the 250 points' time (linear would be 4). HISTORY_POINTS=0 skips it.
if [ "${HISTORY_POINTS:-1000}" -gt 0 ]; then
    cc -O2 -o history_gen "$here/history_gen.c"
    quarter=$(( ${HISTORY_POINTS:-1000} / 4 ))
    ./history_gen "${HISTORY_POINTS:-1000}" 5 4096 year
    ./history_gen "$quarter" 5 4096 quarter
    for dir in "${dirs[@]}"; do
        echo
        echo "-- $dir/qavprof -history, $quarter against ${HISTORY_POINTS:-1000} points of 5 runs of 4096 rules (first/this: the smaller one's time over the larger one's; target at least 1/4.8, and the larger one in at most 8 s and 250 MB)"
        "$timeit" 3 -- @name="$quarter points" "$dir/qavprof" -q -history quarter/p* \
            -- @name="${HISTORY_POINTS:-1000} points" "$dir/qavprof" -q -history year/p*
    done
    rm -rf year quarter
fi

# What the user waits for after qavcvt: the compiler on its output. Each
# size is compiled as the array of numbers, as -string, as -incbin and as
# xxd -i's output, with gcc and with clang; ld -r -b binary, which copies
# the bytes into an object without compiling anything, is the floor.
qavcvt=${dirs[0]}/qavcvt
for mib in ${BUILD_MIB-1 4 16}; do
    head -c $((mib * 1048576)) /dev/urandom >build.CQav
    "$qavcvt" -n A -len -o array.c build.CQav
    "$qavcvt" -string -n S -len -o string.c build.CQav
    "$qavcvt" -incbin -n I -len -o incbin.c build.CQav
    xxd -i build.CQav >xxd.c
    for cc in gcc clang; do
        command -v $cc >/dev/null || { echo "(no $cc)"; continue; }
        # Both forms compile to the same bytes.
        $cc -O2 -o same "$here/same_bytes.c" array.c string.c incbin.c && ./same ||
            { echo "$cc: the array, -string and -incbin forms hold different bytes"; exit 1; }
        echo
        echo "-- the user's build, $mib MiB, $cc -O2 -c (first/this: the array form's time over this one's; target for -string at 16 MiB: at least 10, and at most 1/5 of the array form's peak memory)"
        "$timeit" "$build_rounds" -- @name=array $cc -O2 -c array.c -o array.o \
            -- @name=-string $cc -O2 -c string.c -o string.o \
            -- @name="xxd -i" $cc -O2 -c xxd.c -o xxd.o \
            -- @name=-incbin $cc -O2 -c incbin.c -o incbin.o \
            -- @name="ld -b bin" ld -r -b binary -o binary.o build.CQav
        echo
        echo "-- -incbin against the floor, $mib MiB, $cc -O2 -c (first/this: the floor's time over -incbin's; target at 16 MiB: at least 1/2 with gcc, 1/10 with clang, and peak memory within 2 and 8 times the floor's)"
        "$timeit" "$build_rounds" -- @name="ld -b bin" ld -r -b binary -o binary.o build.CQav \
            -- @name=-incbin $cc -O2 -c incbin.c -o incbin.o
    done
done
