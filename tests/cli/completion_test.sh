#!/bin/bash
# The bash completions load and complete: commands and options, values of
# options, and --device from what `pyrrow-cli list` finds, a colon in the
# word included.
#   completion_test.sh COMPLETION_DIR PYRROW_CLI PYRROW_SIM
set -u
dir=$1 cli=$2 sim=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=/dev/null
source "$dir/pyrrow-cli.bash" && source "$dir/pyrrow-sim.bash" || exit 1
failures=0

# completes FUNCTION LINE EXPECTED...: the candidates for the line as typed,
# cursor at its end, are exactly the expected ones.
completes() {
    local function=$1 line=$2
    shift 2
    COMP_LINE=$line COMP_POINT=${#line} COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
    read -ra COMP_WORDS <<< "$line"
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "$function"
    local got expected
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort)
    expected=$(printf '%s\n' "$@" | sort)
    if [[ $got != "$expected" ]]; then
        echo "'$line': got [${got//$'\n'/ }], expected [${expected//$'\n'/ }]"
        failures=$((failures + 1))
    fi
}

completes _pyrrow_cli "$cli fl" flash
completes _pyrrow_cli "$cli flash --ti" --timeout-scale
completes _pyrrow_cli "$cli flash --pace " protocol ack
completes _pyrrow_cli "$cli list --" --json --help
completes _pyrrow_sim "$sim tcp --co" --count
completes _pyrrow_sim "$sim serial --l" --link --line-rate
completes _pyrrow_sim "$sim --fault header:s" silent status split
completes _pyrrow_sim "$sim --fault sl" slow

# offers PROGRAM FUNCTION COMMAND: every option that COMMAND --help lists is
# offered after "COMMAND -" (the completion has not fallen behind).
offers() {
    local program=$1 function=$2 command=$3 option
    COMP_LINE="$program $command -" COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$function"
    for option in $("$program" "$command" --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' ' '); do
        if ! printf '%s\n' "${COMPREPLY[@]}" | grep -qxF -- "$option"; then
            echo "$command: $option is not offered"
            failures=$((failures + 1))
        fi
    done
}
offers "$cli" _pyrrow_cli list
offers "$cli" _pyrrow_cli flash
offers "$sim" _pyrrow_sim tcp
offers "$sim" _pyrrow_sim serial
offers "$sim" _pyrrow_sim usb

# --device: what list prints as the first line of each entry (a stand-in
# with two serial ports and a USB unit); bash replaces only what follows
# the word's last colon.
cat > "$work/pyrrow-cli" <<'LIST'
#!/bin/sh
[ "$1" = list ] && [ $# -eq 1 ] || exit 2
cat <<'TEXT'
serial:/dev/ttyUSB0
    serial /dev/ttyUSB0: ok
    also /dev/serial/by-id/usb-FTDI-if00
serial:/dev/ttyUSB1
    serial /dev/ttyUSB1: denied (root:dialout 0660); join the group dialout
usb:serial=A1B2
    usb /dev/hidraw3, serial number A1B2: ok
TEXT
LIST
chmod +x "$work/pyrrow-cli"
completes _pyrrow_cli "$work/pyrrow-cli flash -d serial:/dev/ttyU" /dev/ttyUSB0 /dev/ttyUSB1
completes _pyrrow_cli "$work/pyrrow-cli flash --device usb:s" serial=A1B2 serial=
completes _pyrrow_cli "$work/pyrrow-cli flash --device t" tcp:
# The real list, as it prints this machine's ports (it opens none).
mapfile -t listed < <("$cli" list | grep -E '^(serial|usb):')
completes _pyrrow_cli "$cli flash --device s" "${listed[@]}" serial:

[[ $failures -eq 0 ]]
