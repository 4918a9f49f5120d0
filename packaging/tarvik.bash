# bash completion for tarvik. The commands, each command's options and the
# values of a choice such as --format are read from the program's own
# `tarvik --help`, so they are always those of the tarvik being run.

# The help's block for one command (its line and the lines indented under it),
# or the command names alone when no command is given.
_tarvik_help()
{
    "$1" --help 2>/dev/null | awk -v want="$2" '
        /^Commands:/ { inside = 1; next }
        !inside { next }
        /^  [a-z]/ { current = $1; if (want == "") print current; else if (current == want) print; next }
        /^   / { if (want != "" && current == want) print; next }
        { current = "" }'
}

_tarvik()
{
    local cur prev words cword
    _init_completion || return
    local program=${words[0]}

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W "$(_tarvik_help "$program") --help --version" -- "$cur"))
        return
    fi

    local command=${words[1]} block
    block=$(_tarvik_help "$program" "$command")
    [[ -n $block ]] || return

    # Options that take a value: "-o SNAPSHOT", "--format text|tsv|json".
    local valued
    valued=$(grep -oE -- '(^|[[ ])--?[a-z-]+ ([A-Z]+|[a-z0-9]+(\|[a-z0-9]+)+)' <<<"$block" |
        sed -E 's/^[[ ]//')
    local option value
    while read -r option value; do
        [[ -n $option && $prev == "$option" ]] || continue
        if [[ $value == *"|"* ]]; then
            COMPREPLY=($(compgen -W "${value//|/ }" -- "$cur"))
        elif [[ $value == PATTERN || $value == TEXT ]]; then
            COMPREPLY=()
        else
            _filedir
        fi
        return
    done <<<"$valued"

    if [[ $cur == -* ]]; then
        local options
        options=$(grep -oE -- '(^|[[ (|])--?[a-z]([a-z-]*[a-z])?' <<<"$block" | sed -E 's/^[[ (|]//' | sort -u)
        COMPREPLY=($(compgen -W "$options --aligned-only" -- "$cur"))
        return
    fi

    # Which of the command's operands this word is: the options and their
    # values do not count.
    local operands=() word i n=0 skip=0
    read -r -a operands <<<"$(head -n1 <<<"$block" | sed -E 's/\[.*//; s/^ *[a-z]+ *//')"
    for ((i = 2; i < cword; i++)); do
        word=${words[i]}
        if ((skip)); then
            skip=0
        elif [[ $word == -* ]]; then
            [[ $'\n'$valued == *$'\n'"$word "* ]] && skip=1
        else
            ((n++))
        fi
    done
    case ${operands[n]} in
        DEST | MOUNTPOINT) _filedir -d ;;
        PATTERN) COMPREPLY=() ;;
        '') COMPREPLY=() ;;
        *) _filedir ;;
    esac
} &&
    complete -F _tarvik tarvik
