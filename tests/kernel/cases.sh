# The cases of the kernel stage, run as root by the guest's init (busybox
# sh): pyrrow-cli against pyrrow-sim through the kernel's uhid, hidraw and
# hidapi for USB, and through two 8250 UARTs wired together by QEMU for the
# serial line (/dev/ttyS1 is the program's port, /dev/ttyS2 the unit's).
#
# Usage: cases.sh [CASE...]   (no names: every case of CASES and PENDING)
#
# Each case is a function case_NAME, run in a subshell in a folder of its own
# under /tmp/cases with its output in log; it fails with `fail TEXT`. The
# host reads these lines from the console:
#   case NAME: ok (MS ms)
#   case NAME: FAILED: TEXT (MS ms), then the case's log, indented
#   pending NAME: fails as expected: TEXT    or    pending NAME: PASSES NOW
#   kernel stage: N passed, N failed, N pending

# The cases that must pass.
CASES="usb_upload usb_list usb_denied usb_pulled usb_pulled_in_header usb_busy usb_silent usb_ambiguous
       usb_station usb_station_gap0 serial_upload serial_busy udev_rule window_usb_upload"
# Cases waiting for a mend of the programs: run and reported, but their
# failure does not fail the stage. Move a name up to CASES once it passes.
PENDING=""

# A simulated unit's serial number: the simulator's pid and the unit's number.
SIM_SERIAL='PYRROW-SIM-[0-9]*-[0-9]*'
TESTER=tester # a user without access to the device nodes

fail() {
    echo "FAIL: $*"
    exit 1
}

now_ms() {
    awk '{ printf "%d\n", $1 * 1000 }' /proc/uptime
}

# wait_for WHAT MS COMMAND...: runs COMMAND every 20 ms until it succeeds;
# the case fails when it has not within MS milliseconds.
wait_for() {
    what=$1 limit=$2
    shift 2
    end=$(($(now_ms) + limit))
    until "$@"; do
        [ "$(now_ms)" -lt "$end" ] || fail "$what: not within $limit ms"
        usleep 20000
    done
}

make_image() { # NAME BYTES
    head -c "$2" /dev/urandom > "$1"
}

hidraw_count_is() {
    [ "$(ls /sys/class/hidraw | wc -l)" -eq "$1" ]
}

# Starts pyrrow-sim ARGS... in the background with NAME.out and NAME.err
# and waits until its first line says where its unit is; $SIM is its pid.
start_sim() { # NAME ARGS...
    name=$1
    shift
    timeout 90 pyrrow-sim "$@" > "$name.out" 2> "$name.err" &
    SIM=$!
    PIDS="$PIDS $SIM"
    wait_for "pyrrow-sim $* saying where its unit is" 10000 test -s "$name.out"
}

# Runs pyrrow-cli ARGS... (as the user $AS names, when set; for at most
# $LIMIT s) with standard output in NAME.json and standard error in
# NAME.err; $RC is its exit code and $TOOK its time in ms.
AS=
LIMIT=60
run_cli() { # NAME ARGS...
    name=$1
    shift
    t0=$(now_ms)
    if [ -n "$AS" ]; then
        timeout $LIMIT su -s /bin/sh "$AS" -c "exec pyrrow-cli $*" # words without spaces only
    else
        timeout $LIMIT pyrrow-cli "$@"
    fi > "$name.json" 2> "$name.err"
    RC=$?
    TOOK=$(($(now_ms) - t0))
    echo "pyrrow-cli $*: exit $RC after $TOOK ms"
}

# The same in the background; $CLI is its pid.
start_cli() { # NAME ARGS...
    name=$1
    shift
    timeout 60 pyrrow-cli "$@" > "$name.json" 2> "$name.err" &
    CLI=$!
    PIDS="$PIDS $CLI"
}

# A program started in the background has ended (a zombie counts).
ended() { # PID
    ! [ -e "/proc/$1" ] || grep -q '^[0-9]* (.*) Z' "/proc/$1/stat"
}

# Waits up to 20 s for a program started in the background to end; $RC is
# its exit code.
end_of() { # PID
    wait_for "the end of pid $1" 20000 ended "$1"
    wait "$1"
    RC=$?
}

expect_exit() { # CODE WHAT
    [ "$RC" = "$1" ] || fail "$2: exit $RC, expected $1"
}

# Every pattern is in the line of FILE that holds the first one.
expect_line() { # FILE PATTERN...
    file=$1
    line=$(grep -F -- "$2" "$file" | head -n 1)
    [ -n "$line" ] || fail "$file has no line with $2"
    shift
    for pattern in "$@"; do
        case $line in
        *"$pattern"*) ;;
        *) fail "$file: $pattern missing in $line" ;;
        esac
    done
}

expect_text() { # FILE TEXT
    grep -q -F -- "$2" "$1" || fail "$1 does not say \"$2\""
}

# The unit's side: the simulator ended by itself with exit 0, every upload
# whole and the expected image.
expect_sim_ok() { # NAME
    end_of "$SIM"
    expect_exit 0 "pyrrow-sim"
    expect_text "$1.err" "it is the expected image"
}

# Nothing reached the unit: no bytes in its trace.
expect_nothing_sent() { # TRACE
    ! grep -q '"dir":"in"' "$1" || fail "bytes reached the unit: $(grep -c '"dir":"in"' "$1") reports in $1"
}

usb_unit_ready() { # COUNT
    wait_for "$1 hidraw node(s)" 5000 hidraw_count_is "$1"
}

serial_line() { # the program's port in the kernel's table
    grep '^1:' /proc/tty/driver/serial
}

# ---- USB ----

case_usb_upload() {
    make_image fw 4001
    start_sim sim usb --once --expect fw
    usb_unit_ready 1
    run_cli cli flash fw --device usb --json
    expect_exit 0 "the upload"
    expect_line cli.json '"event":"result"' '"status":"ok"' '"exit_code":0' '/dev/hidraw0'
    expect_sim_ok sim
}

case_usb_list() {
    start_sim sim usb
    usb_unit_ready 1
    serial=$(sed -n 's/^usb:serial=//p' sim.out)
    case $serial in
    $SIM_SERIAL) ;;
    *) fail "the simulator printed \"$(cat sim.out)\", not usb:serial=PYRROW-SIM-<pid>-1" ;;
    esac
    run_cli list list --json
    expect_exit 0 "list"
    expect_line list.json '"kind":"usb"' '"path":"/dev/hidraw0"' "\"serial_number\":\"$serial\"" \
        '"state":"ok"' "\"device\":\"usb:serial=$serial\""
}

# The node as the kernel makes it without udev: root:root 0600.
case_usb_denied() {
    make_image fw 1000
    start_sim sim usb --trace sim.trace
    usb_unit_ready 1
    [ "$(stat -c '%U:%G %a' /dev/hidraw0)" = "root:root 600" ] || fail "/dev/hidraw0 is $(stat -c '%U:%G %a' /dev/hidraw0)"
    AS=$TESTER
    run_cli list list --json
    AS=
    expect_exit 0 "list by a user without access"
    expect_line list.json '"kind":"usb"' '"path":"/dev/hidraw0"' '"state":"denied"' '"owner":"root"' '"group":"root"'
    AS=$TESTER
    run_cli cli flash fw --device usb --json
    AS=
    expect_exit 7 "an upload by a user without access"
    expect_line cli.json '"event":"result"' '"kind":"access_denied"' 'belongs to root:root' '70-pyrrow.rules'
    expect_nothing_sent sim.trace
}

# Pulls the unit ($SIM killed) while pyrrow-cli ($CLI) uploads to it: the
# run must end with exit 11 within 1.5 s. WHAT names the run in a failure.
pull_unit() { # WHAT
    kill -KILL "$SIM"
    t0=$(now_ms)
    end_of "$CLI"
    took=$(($(now_ms) - t0))
    echo "pyrrow-cli ended $took ms after the unit was pulled"
    expect_exit 11 "$1"
    [ "$took" -le 1500 ] || fail "pyrrow-cli took $took ms to see that the unit was gone"
}

case_usb_pulled() {
    make_image fw $((32 + 64 * 600)) # 600 reports, 10 ms apart
    start_sim sim usb
    usb_unit_ready 1
    start_cli cli flash fw --device usb --json
    wait_for "the data" 10000 grep -q '"phase":"data"' cli.json
    pull_unit "the upload whose unit was pulled"
    expect_line cli.json '"event":"result"' '"status":"failed"' '"exit_code":11' '"frame":'
}

case_usb_silent() {
    make_image fw 1000
    start_sim sim usb --fault header:silent
    usb_unit_ready 1
    run_cli cli flash fw --device usb --json
    expect_exit 9 "an upload to a unit that never answers"
    expect_line cli.json '"event":"result"' '"kind":"header_no_answer"'
    # The program's own time, from the start of the upload: five polls
    # 1 s apart, and a margin for the emulated machine. Starting a program
    # under emulation takes long, so its whole run is only held to 10 s.
    took=$(sed -n 's/.*"event":"result".*"duration_ms":\([0-9]*\).*/\1/p' cli.json)
    echo "the upload gave up after $took ms"
    if [ -z "$took" ] || [ "$took" -lt 5000 ] || [ "$took" -gt 6500 ] || [ "$TOOK" -gt 10000 ]; then
        fail "gave up after ${took:-?} ms (the whole run $TOOK ms), not 5 s and a margin"
    fi
}

case_usb_ambiguous() {
    make_image fw 1000
    start_sim a usb --trace a.trace
    start_sim b usb --trace b.trace
    usb_unit_ready 2
    run_cli cli flash fw --device usb --json
    expect_exit 6 "a bare usb selector with two units"
    expect_line cli.json '"event":"result"' '"kind":"ambiguous"'
    expect_nothing_sent a.trace
    expect_nothing_sent b.trace
}

# STATION GAP: three units that come and go, one log record each.
station() {
    make_image fw 3000
    start_sim sim usb --units 3 --gap "$1" --expect fw
    LIMIT=20
    run_cli cli flash fw --device usb --repeat --count 3 --log units.jsonl --json
    expect_exit 0 "the station"
    [ "$(grep -c . units.jsonl)" -eq 3 ] || fail "units.jsonl holds $(grep -c . units.jsonl) records, not 3"
    # Each unit with a serial number of its own.
    [ "$(grep -F '"result":"ok"' units.jsonl | sed -n 's/.*"serial_number":"\(PYRROW-SIM-[0-9]*-[0-9]*\)".*/\1/p' |
        sort -u | grep -c .)" -eq 3 ] ||
        fail "not every record is an ok unit with a serial number of its own: $(cat units.jsonl)"
    expect_sim_ok sim
}

case_usb_station() { station 1; }
case_usb_station_gap0() { station 0; }

# A second run on a unit that is being flashed: refused, and nothing of it
# reaches the unit.
case_usb_busy() {
    make_image fw $((32 + 64 * 400))
    start_sim sim usb --once --expect fw
    usb_unit_ready 1
    start_cli first flash fw --device usb --json
    wait_for "the data" 10000 grep -q '"phase":"data"' first.json
    run_cli second flash fw --device usb --json
    expect_exit 8 "a second run on the unit being flashed"
    expect_line second.json '"event":"result"' '"kind":"device_busy"'
    end_of "$CLI"
    expect_exit 0 "the first run"
    expect_sim_ok sim
}

case_usb_pulled_in_header() {
    make_image fw 1000
    start_sim sim usb --fault header:silent --trace sim.trace
    usb_unit_ready 1
    start_cli cli flash fw --device usb --json
    wait_for "the header at the unit" 5000 grep -q '"dir":"in"' sim.trace
    pull_unit "the upload whose unit was pulled during the header wait"
}

# ---- serial ----

case_serial_upload() {
    make_image fw $((32 + 256 * 80 + 77))
    start_sim sim serial --port /dev/ttyS2 --once --expect fw
    start_cli cli flash fw --device serial:/dev/ttyS1 --json
    # The modem lines while the data runs, as the UART driver has them.
    wait_for "the data" 10000 grep -q '"phase":"data"' cli.json
    while ! grep -q '"event":"result"' cli.json; do
        serial_line >> lines
        usleep 20000
    done
    end_of "$CLI"
    expect_exit 0 "the serial upload"
    expect_line cli.json '"event":"result"' '"status":"ok"' '"device":"/dev/ttyS1"'
    echo "ttyS1 during the upload:"
    cat lines
    [ "$(grep -c . lines)" -ge 3 ] || fail "too few looks at the modem lines during the upload"
    ! grep -q -E 'DTR|RTS' lines || fail "DTR or RTS was on during the upload"
    expect_sim_ok sim
}

case_serial_busy() {
    make_image fw $((32 + 256 * 80))
    start_sim sim serial --port /dev/ttyS2 --once --expect fw
    start_cli first flash fw --device serial:/dev/ttyS1 --json
    wait_for "the data" 10000 grep -q '"phase":"data"' first.json
    run_cli second flash fw --device serial:/dev/ttyS1 --json
    expect_exit 8 "a second run on the port in use"
    expect_line second.json '"event":"result"' '"kind":"device_busy"'
    end_of "$CLI"
    expect_exit 0 "the first run"
    expect_sim_ok sim
}

# ---- the udev rule we ship, against the unit's hidraw node ----

case_udev_rule() {
    start_sim sim usb
    usb_unit_ready 1
    udevadm test --action=add /sys/class/hidraw/hidraw0 > udev.out 2>&1
    RC=$?
    cat udev.out
    expect_exit 0 "udevadm test"
    grep -q '^TAGS=.*:uaccess:' udev.out || fail "70-pyrrow.rules did not give the unit's node the uaccess tag"
}

# ---- the window ----

# The Qt test program clicks "Nahrát" with USB chosen, offscreen; the test
# starts its own simulator and checks the stored image.
case_window_usb_upload() {
    [ -x /usr/bin/qt_host_tests ] || fail "this guest has no qt_host_tests: the build needs its tests"
    PYRROW_KERNEL_STAGE=1 PYRROW_SIM=/usr/bin/pyrrow-sim QT_QPA_PLATFORM=offscreen timeout 60 \
        qt_host_tests --gtest_filter='QtHost.ClickingUploadWithUsbChosen*' > gtest.out 2>&1
    RC=$?
    cat gtest.out
    expect_exit 0 "the window's test"
    if ! grep -q '^\[  PASSED  \] 1 test' gtest.out || grep -q SKIPPED gtest.out; then
        fail "the window's test did not run"
    fi
}

# ---- running them ----

# Whatever a case leaves running ends with it.
end_all() {
    for p in $PIDS; do
        kill -KILL "$p" 2> /dev/null
        wait "$p" 2> /dev/null
    done
}

# Runs case_NAME; $TOOK is its time in ms and, when it failed, $WHY says why.
run_case() { # NAME
    dir=/tmp/cases/$1
    mkdir -p "$dir"
    t0=$(now_ms)
    (
        cd "$dir" || exit 1
        PIDS=
        trap end_all EXIT
        "case_$1"
    ) > "$dir/log" 2>&1
    status=$?
    TOOK=$(($(now_ms) - t0))
    [ $status -eq 0 ] && return 0
    WHY=$(sed -n 's/^FAIL: //p' "$dir/log" | head -n 1)
    [ -n "$WHY" ] || WHY="exit $status"
    return 1
}

show_log() { # NAME
    for f in "/tmp/cases/$1/log" "/tmp/cases/$1/"*.err; do
        [ ! -s "$f" ] || sed "s|^|    ${f##*/}: |" "$f"
    done
}

listed() { # NAME LIST
    for n in $2; do [ "$n" = "$1" ] && return 0; done
    return 1
}

selected=${*:-$CASES $PENDING}
passed=0 failed=0 pending=0
for name in $selected; do
    if ! listed "$name" "$CASES $PENDING"; then
        echo "case $name: FAILED: no such case"
        failed=$((failed + 1))
        continue
    fi
    if listed "$name" "$PENDING"; then
        pending=$((pending + 1))
        if run_case "$name"; then
            echo "pending $name: PASSES NOW ($TOOK ms): move it to CASES"
        else
            echo "pending $name: fails as expected: $WHY ($TOOK ms)"
            [ ! -e /stage/verbose ] || show_log "$name"
        fi
    elif run_case "$name"; then
        passed=$((passed + 1))
        echo "case $name: ok ($TOOK ms)"
        [ ! -e /stage/verbose ] || show_log "$name"
    else
        failed=$((failed + 1))
        echo "case $name: FAILED: $WHY ($TOOK ms)"
        show_log "$name"
    fi
done
echo "kernel stage: $passed passed, $failed failed, $pending pending"
