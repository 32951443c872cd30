#!/usr/bin/env bash
# Runs the end-to-end cases under a folder, one folder per case:
#   cmd      shell command run in a fresh directory ($QAVCVT, $QAVPROF name
#            the programs); it may prepare files first, silently
#   files/   copied into that directory before the command runs
#   stdout, stderr, status   what the command must print and exit with
#            (a missing file means empty output, or status 0)
#   expect/  files the directory must hold afterwards, byte for byte
#   absent   paths, one a line, that must not exist afterwards
#   needs    a shell command that must succeed for the case to run, such
#            as one that needs root or a program that starts under a memory
#            limit: elsewhere it is skipped and its first line said
# Usage: run.sh CASES...   (each a case folder, or a folder of case folders)
set -u
passed=0 failed=0 skipped=0
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

run_case() {
    local case name work problems=""
    case=$(cd "$1" && pwd)
    name=${case%/}; name=${name##*/}
    work=$scratch/$name
    if [ -f "$case/needs" ] && ! bash -c "$(cat "$case/needs")" >/dev/null 2>&1; then
        echo "SKIP $name: $(head -n 1 "$case/needs" | sed "s/^# *//")"
        skipped=$((skipped + 1))
        return
    fi
    rm -rf "$work"; mkdir -p "$work"
    [ -d "$case/files" ] && cp -a "$case/files/." "$work/"
    (cd "$work" && bash -c "$(cat "$case/cmd")") >"$scratch/out" 2>"$scratch/err" </dev/null
    local status=$? want_status=0
    [ -f "$case/status" ] && want_status=$(cat "$case/status")
    [ "$status" = "$want_status" ] || problems+=" status $status, not $want_status;"
    for stream in stdout stderr; do
        local want=/dev/null got=$scratch/out
        [ -f "$case/$stream" ] && want=$case/$stream
        [ $stream = stderr ] && got=$scratch/err
        if ! cmp -s "$got" "$want"; then
            problems+=" $stream differs:"$'\n'"$(diff "$want" "$got" | head -n 20)"$'\n'
        fi
    done
    if [ -d "$case/expect" ]; then
        while IFS= read -r -d '' file; do
            local relative=${file#"$case/expect/"}
            cmp -s "$file" "$work/$relative" || problems+=" $relative differs or is missing;"
        done < <(find "$case/expect" -type f -print0)
    fi
    if [ -f "$case/absent" ]; then
        while IFS= read -r path; do
            [ -z "$path" ] && continue
            if [ -e "$work/$path" ] || [ -L "$work/$path" ]; then
                problems+=" $path exists;"
            fi
        done <"$case/absent"
    fi
    if [ -z "$problems" ]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL $name:$problems"
    fi
}

for folder in "$@"; do
    if [ -f "$folder/cmd" ]; then
        run_case "$folder"
    else
        for case in "$folder"/*/; do run_case "$case"; done
    fi
done
echo "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ]
