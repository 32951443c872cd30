#!/usr/bin/env bash
# Converts programs with each combination of the output options, compiles
# what qavcvt wrote, as C99 and C11 with gcc and clang, and as C++11 where
# a header declares the names, all with -pedantic -Wall -Werror, and runs
# check.c on it: the same bytes, the 0 after them, the length and the
# alignment. The compiles are for the build's target: QAV_COMPILERS (gcc
# and clang by default), with QAV_CC_FLAGS (-m32 for the i386 build, a
# --target for a cross build), run through QAV_RUN (an emulator) if set.
# Usage: run.sh QAVCVT
set -u
qavcvt=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Every byte value, every byte before each digit and "?" (escapes that
# could take the next character in), quotes, trigraphs, then enough random
# bytes for the literal to pass the length C99 compilers must support.
awk 'BEGIN { for (b = 0; b < 256; b++) printf "%c", b
             for (b = 0; b < 256; b++) for (d = 0; d < 11; d++) printf "%c%c", b, d < 10 ? 48 + d : 63
             printf "??=??/??(\"\\\\\"\"" }' >prog.CQav
head -c 100000 /dev/urandom >>prog.CQav
printf 'Q' >one.CQav
: >empty.CQav

read -r -a compilers <<<"${QAV_COMPILERS:-gcc clang}"
command -v clang >/dev/null || compilers=("${compilers[@]/clang/}")
read -r -a target_flags <<<"${QAV_CC_FLAGS:-}"
read -r -a runner <<<"${QAV_RUN:-}"
passed=0 failed=0
# check NAME INPUT C-FILE OPTIONS...: compile and run for each compiler.
check() {
    local name=$1 input=$2 c_file=$3 options=" ${*:4} " defines
    defines=(-DNAME="$name" -DQUAL=)
    [[ $options == *" -const "* ]] && defines=(-DNAME="$name" -DQUAL=const)
    [[ $options == *" -len "* ]] && defines+=(-DWITH_LEN)
    [[ $options =~ " -align "([0-9]+) ]] && defines+=(-DALIGN="${BASH_REMATCH[1]}")
    local header=${c_file%.c}.h
    [[ $options == *" -header "* ]] && defines+=(-DHEADER="\"$header\"")
    for cc in "${compilers[@]}"; do
        local languages=("-x c -std=c99" "-x c -std=c11")
        [[ $options == *" -header "* ]] && languages+=("-x c++ -std=c++11")
        for language in "${languages[@]}"; do
            local cxx=$cc
            [[ $language == *c++* ]] && { cxx=${cc/gcc/g++}; [ "$cc" = clang ] && cxx=clang++; }
            # shellcheck disable=SC2086
            if $cxx $language "${target_flags[@]}" -pedantic -Wall -Werror -I. "${defines[@]}" \
                -o check "$here/check.c" "$c_file" 2>errors && "${runner[@]}" ./check "$input"; then
                passed=$((passed + 1))
            else
                failed=$((failed + 1))
                echo "FAIL $cxx $language: qavcvt${options}$input"; head -n 5 errors
            fi
        done
    done
}

# One row a case: the name the identifiers get, the input, the C file, and
# the options.
while read -r name input c_file options; do
    [ -z "$name" ] || [ "${name:0:1}" = "#" ] && continue
    rm -f ./*.c ./*.h
    if [ "$input" = - ]; then
        # shellcheck disable=SC2086
        "$qavcvt" $options - <prog.CQav || { failed=$((failed + 1)); continue; }
        input=prog.CQav
    else
        # shellcheck disable=SC2086
        "$qavcvt" $options $input || { failed=$((failed + 1)); continue; }
    fi
    check "$name" "$input" "$c_file" $options
done <<'CASES'
QAV    prog.CQav  prog_QAV.c  -string
QAV    prog.CQav  prog_QAV.c  -align 16
prog   prog.CQav  prog_QAV.c  -string -e -const -len -header -align 64
prog   prog.CQav  prog_QAV.c  -e -const -len -header -align 4096
std    -          out.c       -string -header -len -n std -o out.c
std    -          out.c       -header -const -n std -o out.c
empty  empty.CQav empty_QAV.c -string -e -len -header -align 8
QAV    prog.CQav  prog_QAV.c  -incbin
prog   prog.CQav  prog_QAV.c  -incbin -e -const -len -header -align 64
out    one.CQav   out.c       -len -incbin -n out -o out.c
empty  empty.CQav empty_QAV.c -incbin -e -len -header -align 8
CASES

# Several files in one run, each with its header.
rm -f ./*.c ./*.h
"$qavcvt" -string -e -len -header -const -align 32 prog.CQav one.CQav empty.CQav
for name in prog one empty; do check "$name" "$name.CQav" "${name}_QAV.c" -const -len -header -align 32; done
# Options after the files, as a Make rule may put them.
rm -f ./*.c ./*.h
"$qavcvt" prog.CQav one.CQav -e -len -incbin -header
for name in prog one; do check "$name" "$name.CQav" "${name}_QAV.c" -len -header; done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
