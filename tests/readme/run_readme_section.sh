#!/usr/bin/env bash
# Runs the shell commands of one README section as a reader would type them,
# against the programs just built, in a scratch folder:
#   run_readme_section.sh README SECTION-TITLE WORK-DIR BIN-DIR...
# Each line of a ```sh block is one command, run in WORK-DIR with BIN-DIR on
# PATH; it must succeed. The window's own commands (`pyrrow ...`) need a
# display and a click: they are skipped. A `pyrrow-sim ...` line is what a
# reader starts in a terminal of its own: it runs in the background, and the
# next command waits until it has said where its unit is (its first line on
# standard output). Before any command that is not an upload, and at the
# end, the simulator must have ended by itself with exit code 0 (--once).
set -uo pipefail

readme=$1
title=$2
work=$3
shift 3
for dir in "$@"; do
    PATH="$dir:$PATH"
done
export PATH

# A bound for each wait; the uploads here take well under a second.
limit=60

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

commands=$(awk -v title="## $title" '
    $0 == title { inside = 1; next }
    inside && /^## / { exit }
    inside && /^```sh$/ { fenced = 1; next }
    inside && fenced && /^```$/ { fenced = 0; next }
    inside && fenced { print }
' "$readme")
[ -n "$commands" ] || fail "no section \"$title\" with \`\`\`sh commands in $readme"

rm -rf "$work"
mkdir -p "$work" || fail "cannot make $work"
cd "$work" || fail "cannot enter $work"

sim_running=0
sim_line=""
sim_pid=""

# Ctrl+C, as the reader would press it in the simulator's terminal.
stop_sim() {
    [ "$sim_running" -eq 1 ] && pkill -INT -P "$sim_pid" 2>/dev/null
    return 0
}

# Reads the rest of the simulator's output until it ends, and checks how.
finish_sim() {
    [ "$sim_running" -eq 1 ] || return 0
    local line status=""
    while IFS= read -r -t "$limit" -u "$sim_fd" line; do
        case $line in
        "pyrrow-sim exited with "*) status=${line#pyrrow-sim exited with } ;;
        *) echo "    $line" ;;
        esac
    done
    [ -n "$status" ] || { stop_sim; fail "$sim_line did not end within ${limit} s"; }
    wait "$sim_pid" 2>/dev/null
    exec {sim_fd}<&-
    sim_running=0
    [ "$status" = 0 ] || fail "$sim_line ended with exit code $status"
}

trap stop_sim EXIT

count=0
while IFS= read -r line; do
    case $line in
    "" | "#"*) continue ;;
    "pyrrow "* | "pyrrow")
        echo "skipped (the window): $line"
        continue
        ;;
    "pyrrow-sim "*)
        finish_sim
        echo "in the background: $line"
        sim_line=$line
        coproc SIM { eval "$line" 2>&1 </dev/null; echo "pyrrow-sim exited with $?"; }
        sim_pid=$SIM_PID
        # bash forgets the coprocess's descriptors once it ends: keep a copy.
        exec {sim_fd}<&"${SIM[0]}"
        sim_running=1
        IFS= read -r -t "$limit" -u "$sim_fd" first || fail "$line said nothing within ${limit} s"
        echo "    $first"
        case $first in
        "pyrrow-sim exited with "* | "pyrrow-sim: "*) fail "$line did not start: $first" ;;
        esac
        ;;
    "pyrrow-cli "*)
        echo "run: $line"
        timeout "$limit" bash -c "$line" </dev/null || fail "$line ended with exit code $?"
        ;;
    *)
        finish_sim
        echo "run: $line"
        timeout "$limit" bash -c "$line" </dev/null || fail "$line ended with exit code $?"
        ;;
    esac
    count=$((count + 1))
done <<<"$commands"
finish_sim
echo "$count commands of \"$title\" ran as the README gives them"
