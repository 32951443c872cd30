#!/bin/sh
# Fails unless every program given needs no shared library but libc.
status=0
for program in "$@"; do
    needed=$(readelf -d "$program" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    for library in $needed; do
        case $library in
            libc.so.*) ;;
            *) echo "$program needs $library"; status=1 ;;
        esac
    done
    echo "$program: $(echo $needed)"
done
exit $status
