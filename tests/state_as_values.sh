#!/usr/bin/env bash
# The tools keep their state in values passed to the code that uses them:
# their own objects define no writable data (.data or .bss), but for what
# a signal handler must reach. Usage: state_as_values.sh OBJECT-OR-ARCHIVE...
set -u
# The outputs a signal handler removes or reports, and what a sanitizer's
# instrumentation adds.
allowed='pendingOutputs|^__odr_asan|^__asan|^__ubsan|^___asan'
found=$(objdump -t "$@" | awk '$3 == "O" && ($4 ~ /^\.(data|bss)(\.|$)/) && $4 !~ /^\.data\.rel\.ro/ {print $NF}' |
        c++filt | grep -v -E "$allowed")
if [ -n "$found" ]; then
    echo "writable data at file scope or in function-local statics:"
    echo "$found"
    exit 1
fi
echo "no writable data but what a signal handler reaches"
