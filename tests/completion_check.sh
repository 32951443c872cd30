#!/usr/bin/env bash
# Drives the bash completions as bash does: the words typed so far in
# COMP_WORDS, the function called, its replies in COMPREPLY; in a copy of
# examples/, so that files are there to complete.
# Usage: completion_check.sh SOURCE_DIR
set -u
source_dir=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$source_dir/examples" "$work/examples"
cd "$work/examples"
# A name with a blank stays one word.
cp hello.CQav 'my prog.CQav'
mkdir 'old runs'
: >'old runs/run 1.prof'
# shellcheck source=/dev/null
source "$source_dir/completions/qavprof.bash"
# shellcheck source=/dev/null
source "$source_dir/completions/qavcvt.bash"
passed=0 failed=0
expect() {  # expect "REPLY|REPLY|" FUNCTION WORD...  (the replies sorted)
    local want=$1 function=$2
    shift 2
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    "$function"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' '|')
    if [ "$got" = "$want" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $* completes to '$got', not '$want'"
    fi
}
expect "-history|" _qavprof qavprof -hi
expect "-calls|-csv|-cycles|" _qavprof qavprof -c
expect "|" _qavprof qavprof -top ""
expect "runs|" _qavprof qavprof -diff ru
expect "runs|" _qavprof qavprof -o ru
expect "qav.pprofout|qav.rprofout|" _qavprof qavprof qav.
expect "-align|" _qavcvt qavcvt -al
expect "1|1024|128|16|" _qavcvt qavcvt -align 1
expect "hello.CQav|history|" _qavcvt qavcvt h
expect "my prog.CQav|" _qavcvt qavcvt my
expect "old runs|" _qavprof qavprof -diff ol
expect "old runs/run 1.prof|" _qavprof qavprof "old runs/"
expect "|" _qavcvt qavcvt -n ""
expect "|" _qavprof qavprof -fail ""
expect "demo.sh|" _qavcvt qavcvt -o de
# zsh's and fish's completions parse, and fish's complete as bash's do
# (fish -c 'complete -C LINE' asks it); where the shells are installed.
for shell in zsh fish; do
    command -v $shell >/dev/null || { echo "completions: no $shell, its files not checked"; continue; }
    for file in "$source_dir"/completions/_qav* "$source_dir"/completions/*.fish; do
        case "$shell:$file" in zsh:*/_qav*|fish:*.fish) ;; *) continue ;; esac
        if $shell -n "$file"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $shell -n $file"; fi
    done
done
fish_expect() {  # fish_expect "REPLY|REPLY|" LINE  (the replies without their descriptions, sorted)
    local want=$1 got
    got=$(fish --no-config -c "source '$source_dir/completions/qavprof.fish'; source '$source_dir/completions/qavcvt.fish'; complete -C '$2'" |
          cut -f1 | sort | tr '\n' '|')
    if [ "$got" = "$want" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: fish $2 completes to '$got', not '$want'"; fi
}
if command -v fish >/dev/null; then
    fish_expect "-history|" "qavprof -hi"
    fish_expect "-calls|-csv|-cycles|" "qavprof -c"
    fish_expect "runs/|" "qavprof -o ru"
    fish_expect "-align|" "qavcvt -al"
fi
echo "completions: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
