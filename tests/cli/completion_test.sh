#!/bin/bash
# The bash, zsh and fish completions load and complete: commands and
# options, values of options, and --device from what `pyrrow-cli list`
# finds, a colon in the word included.
#   completion_test.sh COMPLETION_DIR PYRROW_CLI PYRROW_SIM
set -u
dir=$1 cli=$2 sim=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# shellcheck source=/dev/null
source "$dir/pyrrow-cli.bash" && source "$dir/pyrrow-sim.bash" || exit 1
failures=0

# Each check below runs twice: first to gather the lines that zsh and fish
# are to complete, then, once each shell has completed all of them in one
# run, to compare. Bash completes in this shell at once.
pass=gather
declare -A asked=() answers=()

# gathers SHELL LINE: in the first pass, the line is one for SHELL to complete.
gathers() {
    [[ $pass == gather ]] || return 1
    [[ $1 == bash ]] || asked[$1]+=$2$'\n'
}

# candidates SHELL LINE: what SHELL offers for the line as typed, cursor at
# its end, one a line. Bash offers only what follows the word's last colon.
candidates() {
    local shell=$1 line=$2
    if [[ $shell != bash ]]; then
        printf '%s' "${answers[$shell,$line]}"
        return
    fi
    local function=_pyrrow_cli
    [[ ${line%% *} == *pyrrow-sim ]] && function=_pyrrow_sim
    COMP_LINE=$line COMP_POINT=${#line} COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
    read -ra COMP_WORDS <<< "$line"
    [[ $line == *' ' ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    "$function"
    printf '%s\n' "${COMPREPLY[@]}"
}

# complete_all SHELL: one run of SHELL completes every line gathered for it;
# each line's candidates end with a line "<done>".
complete_all() {
    local shell=$1 lines candidate got=
    mapfile -t lines <<< "${asked[$shell]%$'\n'}"
    exec 3< <(case $shell in
    zsh)
        "$here/zsh_complete.zsh" "$dir" "${lines[@]}" ;;
    fish)
        fish --no-config -c 'source $argv[1]/pyrrow-cli.fish; source $argv[1]/pyrrow-sim.fish
            for line in $argv[2..]; complete -C $line; echo "<done>"; end' "$dir" "${lines[@]}" | cut -f1 ;;
    esac)
    for line in "${lines[@]}"; do
        got=
        while IFS= read -r candidate <&3 && [[ $candidate != '<done>' ]]; do
            got+=$candidate$'\n'
        done
        answers[$shell,$line]=$got
    done
    exec 3<&-
}

# completes SHELLS LINE EXPECTED...: each of the shells (a comma list)
# offers exactly the expected candidates.
completes() {
    local shells=$1 line=$2 shell got expected
    shift 2
    expected=$(printf '%s\n' "$@" | sort)
    for shell in ${shells//,/ }; do
        gathers "$shell" "$line" && continue
        got=$(candidates "$shell" "$line" | sort)
        if [[ $got != "$expected" ]]; then
            echo "$shell, '$line': got [${got//$'\n'/ }], expected [${expected//$'\n'/ }]"
            failures=$((failures + 1))
        fi
    done
}
all=bash,zsh,fish

# offers PROGRAM COMMAND: every option that COMMAND --help lists is offered
# after "COMMAND -" in each shell (no completion has fallen behind).
offers() {
    local program=$1 command=$2 shell option offered
    for shell in ${all//,/ }; do
        gathers "$shell" "$program $command -" && continue
        offered=$(candidates "$shell" "$program $command -")
        for option in $("$program" "$command" --help | sed -n 's/^  \(-[^ ]*\).*/\1/p' | tr ',' ' '); do
            if ! grep -qxF -- "$option" <<< "$offered"; then
                echo "$shell, $command: $option is not offered"
                failures=$((failures + 1))
            fi
        done
    done
}

# Each link's help shows the options every link takes, and leaves the table
# of faults to the program's help; no help shows CLI11's own type names.
for command in tcp serial usb; do
    help=$("$sim" "$command" --help)
    for option in --fault --store --trace --expect --once --units --gap --json; do
        grep -q -- "^  $option" <<< "$help" || { echo "$command --help lacks $option"; failures=$((failures + 1)); }
    done
    if grep -q 'header:silent' <<< "$help"; then
        echo "$command --help repeats the faults"
        failures=$((failures + 1))
    fi
done
for help in "$("$cli" --help)" "$("$cli" list --help)" "$("$cli" flash --help)" "$("$cli" report --help)" "$("$cli" publish --help)" "$("$sim" --help)" \
            "$("$sim" tcp --help)" "$("$sim" serial --help)" "$("$sim" usb --help)"; do
    if grep -E '\b(TEXT|UINT|INT|FLOAT)\b|:\{| in \[' <<< "$help"; then
        echo "a help shows a type name of CLI11 (above)"
        failures=$((failures + 1))
    fi
    # CLI11's notes of options that need or exclude others would push the
    # option's text onto a line of its own.
    if grep -E '^  -.*(Needs|Excludes):' <<< "$help"; then
        echo "a help's option line is not aligned (above)"
        failures=$((failures + 1))
    fi
done

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

# The real list, as it prints this machine's ports (it opens none).
mapfile -t listed < <("$cli" list | grep -E '^(serial|usb):')

completion_checks() {
    completes $all "$cli fl" flash
    completes $all "$cli r" report
    completes $all "$cli flash --ti" --timeout-scale
    completes $all "$cli flash --pace " protocol ack
    completes $all "$cli list --" --json --help
    completes $all "$sim tcp --co" --count
    completes $all "$sim serial --l" --link --line-rate
    completes bash "$sim --fault header:s" silent status split
    completes zsh,fish "$sim --fault header:s" header:silent header:status header:split
    completes zsh,fish "$sim tcp --fault header:s" header:silent header:status header:split
    completes $all "$sim --fault sl" slow
    completes $all "$sim --fault s" slow  # a fault, never the link serial
    offers "$cli" list
    offers "$cli" flash
    offers "$cli" report
    offers "$cli" publish
    completes $all "$cli pu" publish
    offers "$sim" tcp
    offers "$sim" serial
    offers "$sim" usb
    completes bash "$work/pyrrow-cli flash -d serial:/dev/ttyU" /dev/ttyUSB0 /dev/ttyUSB1
    completes zsh,fish "$work/pyrrow-cli flash -d serial:/dev/ttyU" serial:/dev/ttyUSB0 serial:/dev/ttyUSB1
    completes bash "$work/pyrrow-cli flash --device usb:s" serial=A1B2 serial=
    completes zsh,fish "$work/pyrrow-cli flash --device usb:s" usb:serial=A1B2 usb:serial=
    completes $all "$work/pyrrow-cli flash --device t" tcp:
    completes $all "$cli flash --device s" "${listed[@]}" serial:
}
completion_checks
complete_all zsh
complete_all fish
pass=check
completion_checks

[[ $failures -eq 0 ]]
