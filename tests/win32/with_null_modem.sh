#!/bin/sh
# Runs a command with two COM ports of the Wine prefix joined like the two
# ends of a null-modem cable: socat makes a pair of pseudo-terminals that
# pass each other's bytes on, and COM8 and COM9 of the prefix lead to them.
# The command learns the names from PYRROW_TEST_PROGRAM_PORT (the program's
# end) and PYRROW_TEST_DEVICE_PORT (the device's end).
set -eu
: "${WINEPREFIX:?}"
dir=$(mktemp -d)
socat "pty,raw,echo=0,link=$dir/program" "pty,raw,echo=0,link=$dir/device" </dev/null >/dev/null 2>&1 &
socat=$!
cleanup() {
    kill "$socat" 2>/dev/null || true
    rm -f "$WINEPREFIX/dosdevices/com8" "$WINEPREFIX/dosdevices/com9"
    rm -rf "$dir"
}
trap cleanup EXIT
for _ in $(seq 50); do
    [ -e "$dir/program" ] && [ -e "$dir/device" ] && break
    sleep 0.1
done
ln -sfn "$dir/program" "$WINEPREFIX/dosdevices/com8"
ln -sfn "$dir/device" "$WINEPREFIX/dosdevices/com9"
PYRROW_TEST_PROGRAM_PORT=COM8 PYRROW_TEST_DEVICE_PORT=COM9 "$@"
