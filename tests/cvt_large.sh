#!/usr/bin/env bash
# Files past 2 GiB: a 600 MB input gives an output of 1.2 GB, and an input
# of 3 GB (sparse) is refused at once, before anything is written.
# Usage: cvt_large.sh QAVCVT
set -eu
qavcvt=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/qav-large-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
status=0
size=600000000
head -c $size /dev/zero >big.CQav
"$qavcvt" big.CQav
# "0," a value, a line break before every 20th, the head and the tail;
# the last value is the 600000000th, alone on its line.
head_tail=$(( $(printf '/* QAV virtual machine byte code */\n\nunsigned char QAV_QAV [] = {\n0};\n\nunsigned char *QAV_CQAV = QAV_QAV;\n' | wc -c) ))
want=$((2 * size + size / 20 + head_tail))
got=$(stat -c %s big_QAV.c)
[ "$got" = "$want" ] || { echo "FAIL: output of $got bytes, not $want"; status=1; }
[ "$(tail -n 3 big_QAV.c | head -n 1)" = "0,0};" ] ||
    { echo "FAIL: the array does not end as it should"; status=1; }
rm -f big.CQav big_QAV.c

truncate -s 3G huge.CQav
if "$qavcvt" huge.CQav 2>message || [ "$(cat message)" != "qavcvt: Larger than 999999999 bytes: huge.CQav" ] ||
    [ -e huge_QAV.c ]; then
    echo "FAIL: a 3 GB input was not refused: $(cat message)"
    status=1
fi
[ $status -eq 0 ] && echo "large files: 2 passed, 0 failed"
exit $status
