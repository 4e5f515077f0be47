#!/bin/sh
# Runs a command with two COM ports of the Wine prefix joined like the two
# ends of a null-modem cable: socat makes a pair of pseudo-terminals that
# pass each other's bytes on, at the paths that the ports of the prefix lead
# to (wine_prefix.sh enters them). Pair a is COM8 and COM9, pair b COM10 and
# COM11; a test that has a pair to itself runs beside one that has the other.
# The command learns the names from PYRROW_TEST_PROGRAM_PORT (the program's
# end) and PYRROW_TEST_DEVICE_PORT (the device's end).
#   with_null_modem.sh a|b COMMAND [ARGUMENT...]
set -eu
: "${WINEPREFIX:?}"
case "$1" in
a) program_port=COM8 device_port=COM9 ;;
b) program_port=COM10 device_port=COM11 ;;
*) echo "with_null_modem.sh: no pair $1" >&2; exit 2 ;;
esac
pair=$1
shift
dir="$WINEPREFIX/null-modem"
mkdir -p "$dir"
rm -f "$dir/$pair-program" "$dir/$pair-device"
socat "pty,raw,echo=0,link=$dir/$pair-program" "pty,raw,echo=0,link=$dir/$pair-device" </dev/null >/dev/null 2>&1 &
socat=$!
cleanup() {
    kill "$socat" 2>/dev/null || true
    rm -f "$dir/$pair-program" "$dir/$pair-device"
}
trap cleanup EXIT
for _ in $(seq 50); do
    [ -e "$dir/$pair-program" ] && [ -e "$dir/$pair-device" ] && break
    sleep 0.1
done
PYRROW_TEST_PROGRAM_PORT=$program_port PYRROW_TEST_DEVICE_PORT=$device_port "$@"
