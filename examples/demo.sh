#!/usr/bin/env bash
# Runs the tools on the bundled examples: reports of a match and a parse
# profile under a few criteria, a comparison of runs and a history of
# commits, and a compiled program turned into C and compiled. Usage: examples/demo.sh [BIN_DIR]   (default build/bin)
set -eu
examples=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:-$examples/../build/bin}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$examples/qav.rprofout" "$examples/qav.pprofout" "$examples/hello.CQav" "$examples/runs" \
    "$examples/history" "$work"
cd "$work"
export PATH="$bin:$PATH"

show() {
    echo
    echo "\$ $*"
    "$@"
}

show qavprof                              # the match profile, by time
show qavprof -calls
show qavprof -parse -eff                  # the least efficient parse rules first
show qavprof -parse -percall -cycles
show qavprof -x || true                   # a wrong flag: message and status 1
# Five runs before a change against five after it: which rules really changed.
show qavprof -q -top 6 -diff runs/old1.prof runs/old2.prof runs/old3.prof runs/old4.prof \
    runs/old5.prof -- runs/new1.prof runs/new2.prof runs/new3.prof runs/new4.prof runs/new5.prof
# Twelve commits of three runs each: where each rule changed, and a CI
# gate on the newest commit (status 3: its total grew by more than 5%).
show qavprof -q -fail 5 -history history/c01 history/c02 history/c03 history/c04 history/c05 \
    history/c06 history/c07 history/c08 history/c09 history/c10 history/c11 history/c12 || true

show qavcvt -e hello.CQav
echo
echo "\$ head -n 5 hello_QAV.c"
head -n 5 hello_QAV.c
echo "..."
echo "\$ tail -n 3 hello_QAV.c"
tail -n 3 hello_QAV.c

cat >main.c <<'C'
#include <stdio.h>
#include "hello_QAV.c"
int main(void) {
    printf("%u bytes of byte code compiled in, starting %c%c%c\n",
           (unsigned)(sizeof hello_QAV - 1), hello_CQAV[0], hello_CQAV[1], hello_CQAV[2]);
    return 0;
}
C
show cc -std=c99 -Wall -o hello main.c
show ./hello
