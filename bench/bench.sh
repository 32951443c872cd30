#!/usr/bin/env bash
# Speed and memory of the tools beside the peer tools a user would reach
# for, on inputs this script makes itself. Times are whole processes, the
# median of several runs; memory is peak resident size.
# Usage: bench/bench.sh [BIN_DIR] [RUNS]   (default build/bin, 7 runs)
# BENCH_ONLY=cvt or BENCH_ONLY=prof runs one half.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$here/../build/bin}" && pwd)
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Wall time in nanoseconds of one run of a shell command; the optional
# second command runs first, untimed, and pending writes are flushed so
# that one run's write-back does not land in the next one's time.
time_once() {
    local start end
    [ -n "${2:-}" ] && bash -c "$2"
    sync
    start=$(date +%s%N)
    bash -c "$1" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $((end - start))
}

# Medians in seconds of several commands, their runs interleaved so that
# the machine's noise falls on all of them alike, less the cost of starting
# an empty command the same way. Arguments are pairs of a command and its
# untimed preparation; prints one median a line.
medians() {
    set -- true "" "$@"
    local i k count=$(($# / 2)) args=("$@")
    local -a times
    for ((i = 0; i < runs; i++)); do
        for ((k = 0; k < count; k++)); do
            times[k]+="$(time_once "${args[2 * k]}" "${args[2 * k + 1]}") "
        done
    done
    local base
    base=$(echo ${times[0]} | tr ' ' '\n' | sort -n | awk '{ t[NR] = $1 } END { print t[int((NR + 1) / 2)] }')
    for ((k = 1; k < count; k++)); do
        echo ${times[k]} | tr ' ' '\n' | sort -n |
            awk -v base="$base" '{ t[NR] = $1 } END { printf "%.5f\n", (t[int((NR + 1) / 2)] - base) / 1e9 }'
    done
}

# Peak resident memory in KiB of a command.
peak_kib() {
    /usr/bin/time -f %M bash -c "exec $1" 2>&1 >/dev/null | tail -n 1
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

if [ "${BENCH_ONLY:-}" != prof ]; then
    echo "== qavcvt: 64 MiB of random bytes =="
    head -c $((64 * 1024 * 1024)) /dev/urandom >big.CQav
    "$bin/qavcvt" big.CQav
    cp big_QAV.c reference.c
    # Every command writes a new file, as a build from clean does.
    { read -r t_cvt; read -r t_xxd; read -r t_cat; } < <(medians \
        "'$bin/qavcvt' big.CQav" "rm -f big_QAV.c" \
        "xxd -i big.CQav >xxd.c" "rm -f xxd.c" \
        "cat reference.c >copy.c" "rm -f copy.c")
    m_cvt=$(peak_kib "'$bin/qavcvt' big.CQav")
    head -c $((4 * 1024 * 1024)) /dev/urandom >small.CQav
    m_small=$(peak_kib "'$bin/qavcvt' small.CQav")
    printf '%-34s %9s s\n' "qavcvt" "$t_cvt" "xxd -i" "$t_xxd" \
        "cat of the same output ($(($(stat -c %s reference.c) / 1048576)) MiB)" "$t_cat"
    echo "xxd -i / qavcvt:  $(ratio "$t_xxd" "$t_cvt")  (target: at least 5)"
    echo "qavcvt / cat:     $(ratio "$t_cvt" "$t_cat")  (target: at most 1.3)"
    echo "peak memory:      $m_cvt KiB on 64 MiB, $m_small KiB on 4 MiB  (target: under 8192 KiB)"
    rm -f big.CQav big_QAV.c reference.c copy.c xxd.c
fi

if [ "${BENCH_ONLY:-}" != cvt ]; then
    echo "== qavprof: 4096 records in reverse order of the criterion =="
    # Every key ascends, so every criterion but efficiency meets the
    # records in reverse; for efficiency (largest first) the quotient falls.
    awk 'BEGIN { print "QAV profile"; for (i = 1; i <= 4096; i++)
        printf "rule_%d %d %d %d %d %d %d %d\n", i, i, i, i, i, i, i, i }' >reverse.prof
    awk 'BEGIN { print "QAV profile"; for (i = 1; i <= 4096; i++)
        printf "rule_%d %d %d %d %d %d %d %d\n", i, i, i, i, i, i, int(100000000 / i), i }' >reverse-eff.prof
    printf '%-30s %9s %9s %7s %10s\n' "criterion" "qavprof" "sort" "ratio" "memory"
    for criterion in -time -space -calls -cycles "-eff -parse" "-time -percall"; do
        file=reverse.prof
        [ "$criterion" = "-eff -parse" ] && file=reverse-eff.prof
        { read -r t_prof; read -r t_sort; } < <(medians \
            "'$bin/qavprof' $criterion $file" "" \
            "sort -k6,6nr $file" "")
        m_prof=$(peak_kib "'$bin/qavprof' $criterion $file")
        printf '%-30s %8ss %8ss %7s %7s KiB\n' "$criterion" "$t_prof" "$t_sort" \
            "$(ratio "$t_prof" "$t_sort")" "$m_prof"
    done
    echo "targets: ratio qavprof / sort at most 2, memory under 8192 KiB"
fi
