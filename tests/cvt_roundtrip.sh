#!/usr/bin/env bash
# Compiles what qavcvt writes with the system C compiler, strictly, beside a
# small main that checks the array holds the input's bytes and one 0 after
# them (and, with -len, that the length says so); then compiles every C
# file the end-to-end cases expect.
# Usage: cvt_roundtrip.sh QAVCVT [E2E_CASES_DIR]
set -eu
qavcvt=$1
cases=${2:-}
cc=${CC:-cc}
strict="-std=c99 -pedantic -Wall -Werror"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
passed=0 failed=0

verdict() {  # verdict OK DESCRIPTION
    if [ "$1" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $2"; fi
}

check() {  # check SIZE NAME PREFIX FLAGS...
    local size=$1 name=$2 prefix=$3 const="" length=""
    shift 3
    case " $* " in *" -const "*) const=const ;; esac
    case " $* " in *" -len "*) length="if (${prefix}LEN != $size) return 2;" ;; esac
    head -c "$size" /dev/urandom >"$name"
    "$qavcvt" "$@" "$name"
    cat >main.c <<C
#include <stdio.h>
extern $const unsigned char *${prefix}CQAV;
$( [ -n "$length" ] && echo "extern $const unsigned long ${prefix}LEN;" )
int main(void) {
    $length
    return fwrite(${prefix}CQAV, 1, $size + 1, stdout) == $size + 1 ? 0 : 1;
}
C
    local ok=0
    $cc $strict -o program main.c "${name%%.*}_QAV.c" && ./program >actual &&
        { cat "$name"; printf '\0'; } >expected && cmp -s actual expected || ok=1
    verdict $ok "$size bytes, flags '$*'"
}

check 0 empty.CQav QAV_
check 1 one.CQav one_ -e
check 19 nineteen.CQav QAV_ -len
check 20 my-prog.CQav my_prog_ -e -const -len
check 4099 prog.CQav blob_ -n blob -len
check 4099 prog.CQav QAV_ -const

if [ -n "$cases" ]; then
    while IFS= read -r -d '' file; do
        head -n 1 "$file" | grep -q 'QAV virtual machine byte code' || continue
        ok=0
        $cc $strict -c -o generated.o "$file" 2>errors || { ok=1; cat errors; }
        verdict $ok "${file#"$cases/"} compiles"
    done < <(find "$cases" -path '*/expect/*.c' -print0)
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
