# bash completion for qavcvt: its options, an alignment's powers of two,
# and compiled programs (*.CQav) and folders where an input goes.
_qavcvt() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local IFS=$'\n'
    case $prev in
        -n) return ;;  # a C identifier
        -align)
            COMPREPLY=($(compgen -W $'1\n2\n4\n8\n16\n32\n64\n128\n256\n512\n1024\n2048\n4096' -- "$cur"))
            return ;;
        -o)
            COMPREPLY=($(compgen -f -- "$cur"))
            compopt -o filenames 2>/dev/null
            return ;;
    esac
    if [[ $cur == -* ]]; then
        IFS=$' \t\n'
        COMPREPLY=($(compgen -W '-e -n -const -len -string -incbin -header -align -keep -o -h
            --help --version --' -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X '!*.CQav' -- "$cur"))
    compopt -o filenames 2>/dev/null
}
complete -F _qavcvt qavcvt
