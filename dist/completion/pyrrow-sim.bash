# bash completion for pyrrow-sim.

# The words of the line up to the cursor, split at blanks only (not at the
# colons of header:silent): sets words and cur of the caller.
_pyrrow_sim_split_line()
{
    local line=${COMP_LINE:0:COMP_POINT}
    read -ra words <<< "$line"
    if [[ -z $line || $line == *[[:space:]] ]]; then
        cur=""
    else
        cur=${words[-1]}
        unset 'words[-1]'
    fi
}

_pyrrow_sim()
{
    local words cur
    _pyrrow_sim_split_line
    local prev=${words[-1]} command="" word
    for word in "${words[@]:1}"; do
        case $word in
        tcp | serial | usb) command=$word ;;
        esac
    done
    case $prev in
    --store)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -d -- "$cur"))
        return ;;
    --trace | --expect | --link | --port | --uhid)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
        return ;;
    --fault)
        # The names as --help lists them under FAULTS, without their values.
        local faults
        faults=$("${words[0]}" --help 2>/dev/null | sed -n '/^FAULTS/,$ s/^  \([a-z][a-z:-]*\)[=@ ].*/\1/p')
        COMPREPLY=($(compgen -W "$faults" -- "$cur"))
        # bash replaces only what follows the word's last colon.
        if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
            local colon=${cur%"${cur##*:}"}
            COMPREPLY=("${COMPREPLY[@]#"$colon"}")
        fi
        return ;;
    --listen | --count | --units | --gap | --idle-timeout)
        return ;;
    esac
    local options="--fault --store --trace --expect --once --units --gap --json -h --help"
    case $command in
    "") COMPREPLY=($(compgen -W "tcp serial usb $options --version" -- "$cur")) ;;
    tcp) COMPREPLY=($(compgen -W "--listen --count --idle-timeout $options" -- "$cur")) ;;
    serial) COMPREPLY=($(compgen -W "--link --port --line-rate $options" -- "$cur")) ;;
    usb) COMPREPLY=($(compgen -W "--uhid $options" -- "$cur")) ;;
    esac
}
complete -F _pyrrow_sim pyrrow-sim
