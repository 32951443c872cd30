#!/usr/bin/env bash
# The README's examples run as they are: each indented block that starts
# with "$ command" is run in a copy of examples/, with the programs of
# BIN_DIR first on the PATH, and must print the lines that follow (standard
# output and error together, line ends as a terminal shows them, CSV's
# CR LF as LF); a line "..." stands for any lines.
# Usage: readme_examples.sh README BIN_DIR EXAMPLES_DIR
set -u
readme=$1
bin=$(cd "$2" && pwd)
examples=$(cd "$3" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

# Whether the printed lines (file $1) match the expected ones (file $2).
matches() {
    awk 'NR == FNR { got[++n] = $0; next } { want[++m] = $0 }
         END {
             i = 1
             for (j = 1; j <= m; ++j) {
                 if (want[j] == "...") {
                     if (j == m) { i = n + 1; break }
                     while (i <= n && got[i] != want[j + 1]) ++i
                     continue
                 }
                 if (i > n || got[i] != want[j]) exit 1
                 ++i
             }
             exit i == n + 1 ? 0 : 1
         }' "$1" "$2"
}

check() {  # check COMMAND EXPECTED_FILE
    rm -rf "$work/examples"
    cp -r "$examples" "$work/examples"
    (cd "$work/examples" && PATH="$bin:$PATH" bash -c "$1") 2>&1 </dev/null | tr -d '\r' >"$work/got"
    # Blank lines that end the block are the paragraph's, not the output's.
    sed -i -e :a -e '/^\n*$/{$d;N;ba' -e '}' "$2"
    if matches "$work/got" "$2"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: \$ $1"
        diff "$2" "$work/got" | head -n 20
    fi
}

command="" 
: >"$work/want"
while IFS= read -r line || [ -n "$line" ]; do
    if [ -n "$command" ] && { [[ "$line" == "    "* ]] || [ -z "$line" ]; } &&
       [[ "$line" != "    \$ "* ]]; then
        printf '%s\n' "${line#    }" >>"$work/want"
        continue
    fi
    [ -n "$command" ] && check "$command" "$work/want"
    command=""
    : >"$work/want"
    [[ "$line" == "    \$ "* ]] && command=${line#    \$ }
done <"$readme"
[ -n "$command" ] && check "$command" "$work/want"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
