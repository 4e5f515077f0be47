#!/bin/sh
# The window program's answers that need no window: --help (or -h) and --version end
# with 0 without a display; without one the program says so in one line and
# ends with 1, also where Qt finds the display unreachable (no abort).
#   window_start_test.sh PYRROW VERSION
set -u
pyrrow=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# run NAME EXPECTED-CODE [ENV=VALUE ...] -- ARGUMENTS: the program without any display.
run() {
    name=$1 expected=$2
    shift 2
    assignments=""
    while [ "$1" != "--" ]; do assignments="$assignments $1"; shift; done
    shift
    # shellcheck disable=SC2086
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM $assignments "$pyrrow" "$@" >"$work/out" 2>"$work/err" </dev/null
    code=$?
    if [ "$code" -ne "$expected" ]; then
        echo "$name: exit code $code, not $expected; standard error:"
        cat "$work/err"
        failures=$((failures + 1))
        return 1
    fi
}

check() {
    if ! eval "$2"; then
        echo "$1"
        failures=$((failures + 1))
    fi
}

run version 0 -- --version &&
    check "--version printed: $(cat "$work/out")" '[ "$(cat "$work/out")" = "pyrrow $version" ]'
run help 0 -- --help &&
    check "--help lacks an option: $(cat "$work/out")" \
        'grep -q -- "-c PORT SPEED X Y" "$work/out" && grep -q -- "-f PATH" "$work/out" && grep -q -- "-dir DIR" "$work/out" && grep -q -- "-addr N, -pc N" "$work/out"'
cp "$work/out" "$work/help"
run "help as -h" 0 -- -h &&
    check "-h did not print what --help prints: $(cat "$work/out")" 'cmp -s "$work/out" "$work/help"'
run "no display" 1 -- -f unit.fw &&
    check "no display: not one line naming pyrrow-cli: $(cat "$work/err")" \
        '[ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "pyrrow-cli" "$work/err" && grep -q "DISPLAY" "$work/err"'
# A display that no server answers: Qt's platform plugin fails after all.
run "unreachable display" 1 DISPLAY=:9876 -- &&
    check "unreachable display: the last line names neither Qt's cause nor pyrrow-cli: $(cat "$work/err")" \
        'tail -n 1 "$work/err" | grep -q "^pyrrow: the window cannot open: .*platform plugin.*pyrrow-cli"'

# Started with a standard stream closed, the window gives it the null device
# before it opens anything, so that no port or file takes its number.
for stream in 0 1 2; do
    # (A redirection's number cannot come from a variable but through eval.)
    eval 'env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen "$pyrrow" -f "$work/unit.fw" \
        >"$work/out" 2>"$work/err" </dev/null '"$stream"'>&- &'

    pid=$!
    seen=""
    tries=0
    while [ -z "$seen" ] && [ "$tries" -lt 100 ] && kill -0 "$pid" 2>/dev/null; do
        [ "$(readlink "/proc/$pid/fd/$stream")" = /dev/null ] && seen=yes
        tries=$((tries + 1))
        sleep 0.05
    done
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    check "standard stream $stream closed: the window did not give it the null device" '[ -n "$seen" ]'
done

[ "$failures" -eq 0 ]
