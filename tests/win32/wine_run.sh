#!/bin/sh
# Runs a Windows program under Wine on the tests' virtual display.
set -eu
: "${WINEPREFIX:?}"
export WINEDEBUG=-all
if [ -f "$WINEPREFIX/pyrrow-display" ]; then
    DISPLAY=$(cut -d' ' -f1 "$WINEPREFIX/pyrrow-display")
    export DISPLAY
fi
exec wine "$@"
