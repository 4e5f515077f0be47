# bash completion for pyrrow-cli. --device offers what `pyrrow-cli list`
# finds (list looks at the ports without opening them) and the forms of a device text.
# Self-contained: works with or without the bash-completion package.

# The words of the line up to the cursor, split at blanks only, so that
# serial:/dev/ttyUSB0 stays one word: sets _pyrrow_words and _pyrrow_cur.
_pyrrow_split_line()
{
    local line=${COMP_LINE:0:COMP_POINT}
    read -ra _pyrrow_words <<< "$line"
    if [[ -z $line || $line == *[[:space:]] ]]; then
        _pyrrow_cur=""
    else
        _pyrrow_cur=${_pyrrow_words[-1]}
        unset '_pyrrow_words[-1]'
    fi
}

# COMPREPLY from the candidates in $1, as bash replaces only the part of the
# word after its last colon.
_pyrrow_reply()
{
    local IFS=$'\n'
    COMPREPLY=($(compgen -W "$1" -- "$_pyrrow_cur"))
    if [[ $_pyrrow_cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
        local colon=${_pyrrow_cur%"${_pyrrow_cur##*:}"}
        COMPREPLY=("${COMPREPLY[@]#"$colon"}")
    fi
}

_pyrrow_cli()
{
    local _pyrrow_words _pyrrow_cur
    _pyrrow_split_line
    local program=${_pyrrow_words[0]} prev=${_pyrrow_words[-1]} command="" word
    for word in "${_pyrrow_words[@]:1}"; do
        case $word in
        list | flash | report | publish) command=$word; break ;;
        esac
    done
    case $prev in
    -d | --device)
        local devices
        devices=$("$program" list 2>/dev/null | grep -E '^(serial|tcp|usb):')
        _pyrrow_reply "$devices"$'\n'"serial:"$'\n'"tcp:"$'\n'"usb"$'\n'"usb:serial="$'\n'"usb:path="
        [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *[:=] ]] && compopt -o nospace 2>/dev/null
        return ;;
    --settings | --trace | --log | --html | --mqtt-login)
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$_pyrrow_cur"))
        return ;;
    --timeout-scale | --wait-timeout | --count | --since | --until | --sha256 | --tag)
        return ;;
    --publish | --to)
        _pyrrow_reply $'mqtt://\nmqtts://'
        compopt -o nospace 2>/dev/null
        return ;;
    --pace)
        _pyrrow_reply $'protocol\nack'
        return ;;
    esac
    case $command in
    "")
        _pyrrow_reply $'list\nflash\nreport\npublish\n-h\n--help\n--version' ;;
    list)
        _pyrrow_reply $'--json\n-h\n--help' ;;
    flash)
        if [[ $_pyrrow_cur == -* ]]; then
            _pyrrow_reply $'-d\n--device\n--settings\n-q\n--quiet\n--json\n--timeout-scale\n--trace\n--pace\n--wait\n--wait-timeout\n--repeat\n--count\n--log\n--sha256\n--tag\n--publish\n--mqtt-login\n-h\n--help'
        else
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$_pyrrow_cur"))
        fi ;;
    publish)
        if [[ $_pyrrow_cur == -* ]]; then
            _pyrrow_reply $'--to\n--mqtt-login\n-h\n--help'
        else
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$_pyrrow_cur"))
        fi ;;
    report)
        if [[ $_pyrrow_cur == -* ]]; then
            _pyrrow_reply $'--json\n--html\n--since\n--until\n--tag\n-h\n--help'
        else
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -f -- "$_pyrrow_cur"))
        fi ;;
    esac
}
complete -F _pyrrow_cli pyrrow-cli
