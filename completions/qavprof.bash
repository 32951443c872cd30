# bash completion for qavprof: its options, and files where a file goes.
_qavprof() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        -top | -fail) return ;;  # a number
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-time -space -calls -cycles -eff -percall -parse -q -top -csv
            -json -html -md -diff -fail -history -o -h --help --version --' -- "$cur"))
        return
    fi
    # Files, and with -history folders (a folder a point).
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null
}
complete -F _qavprof qavprof
