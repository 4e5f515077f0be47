# bash completion for pyrrow-sim.

_pyrrow_sim()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command="" word
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        case $word in
        tcp | serial | usb) command=$word ;;
        esac
    done
    case $prev in
    --store)
        compopt -o filenames
        COMPREPLY=($(compgen -d -- "$cur"))
        return ;;
    --trace | --link | --port | --uhid)
        compopt -o filenames
        COMPREPLY=($(compgen -f -- "$cur"))
        return ;;
    --fault)
        # The names as --help lists them, without their values.
        local faults
        faults=$("${COMP_WORDS[0]}" --help 2>/dev/null | sed -n 's/^  \([a-z][a-z:-]*\)[=@ ].*/\1/p')
        COMPREPLY=($(compgen -W "$faults" -- "$cur"))
        return ;;
    --listen | --count)
        return ;;
    esac
    local options="--fault --store --trace --once --json --help"
    case $command in
    "") COMPREPLY=($(compgen -W "tcp serial usb $options --version" -- "$cur")) ;;
    tcp) COMPREPLY=($(compgen -W "--listen --count $options" -- "$cur")) ;;
    serial) COMPREPLY=($(compgen -W "--link --port --line-rate $options" -- "$cur")) ;;
    usb) COMPREPLY=($(compgen -W "--uhid $options" -- "$cur")) ;;
    esac
}
complete -F _pyrrow_sim pyrrow-sim
