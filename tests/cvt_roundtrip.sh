#!/usr/bin/env bash
# Compiles what qavcvt writes with the system C compiler, strictly, beside a
# small main that prints the array, and checks that the array holds the
# input's bytes and one 0 after them.
# Usage: cvt_roundtrip.sh QAVCVT
set -eu
qavcvt=$1
cc=${CC:-cc}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
passed=0 failed=0

check() {  # check SIZE FLAG NAME
    local size=$1 flag=$2 name=$3 base=${3%%.*}
    head -c "$size" /dev/urandom >"$name"
    "$qavcvt" $flag "$name"
    local array=QAV_CQAV
    [ -n "$flag" ] && array=${base}_CQAV
    cat >main.c <<C
#include <stdio.h>
extern unsigned char *$array;
int main(void) {
    return fwrite($array, 1, $size + 1, stdout) == $size + 1 ? 0 : 1;
}
C
    $cc -std=c99 -Wall -Werror -pedantic -o program main.c "${base}_QAV.c"
    ./program >actual
    { cat "$name"; printf '\0'; } >expected
    if cmp -s actual expected; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $size bytes, flag '$flag'"
    fi
}

check 0 "" empty.CQav
check 1 -e one.CQav
check 19 "" nineteen.CQav
check 20 -e twenty.CQav
check 4099 -e prog.CQav
check 4099 "" prog.CQav
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
