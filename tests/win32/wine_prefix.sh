#!/bin/sh
# Starts or stops what the Windows tests run in. "start" makes the Wine
# prefix named by WINEPREFIX when it is new, starts a virtual display
# (Xvfb) for the windows the tests open, a persistent Wine server, so
# that each test program starts in a fraction of a second, and the program
# named by the second argument, which keeps Wine's desktop open. "stop"
# ends them all.
# Output goes nowhere, so that whoever started this does not wait for it.
set -eu
: "${WINEPREFIX:?}"
export WINEDEBUG=-all
display_file="$WINEPREFIX/pyrrow-display"

case "$1" in
start)
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot --init </dev/null >/dev/null 2>&1
        wineserver --wait
    fi
    # COM8 and COM9, COM10 and COM11 lead to the two ends of the two
    # null-modem pairs that with_null_modem.sh makes. Wine makes its ports,
    # with the device names that QueryDosDevice and the registry's port list
    # show, when it starts: they are entered once, before the server below.
    if ! grep -q 'null-modem/b-device' "$WINEPREFIX/system.reg"; then
        for port in COM8:a-program COM9:a-device COM10:b-program COM11:b-device; do
            wine reg add 'HKLM\Software\Wine\Ports' /v "${port%%:*}" /d "$WINEPREFIX/null-modem/${port#*:}" /f \
                </dev/null >/dev/null 2>&1
        done
        wineserver --wait
    fi
    # The first free display number from 90 on.
    if [ ! -f "$display_file" ] || ! kill -0 "$(cut -d' ' -f2 "$display_file")" 2>/dev/null; then
        n=90
        while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
        Xvfb ":$n" -nolisten tcp -screen 0 1280x1024x24 </dev/null >/dev/null 2>&1 &
        echo ":$n $!" > "$display_file"
        sleep 1
    fi
    # A server that runs already (exit code 2) serves as well.
    wineserver --persistent </dev/null >/dev/null 2>&1 || [ $? -eq 2 ]
    # Wine's own services and desktop start with the first program and stay
    # with the server; started here, they hold no test's output open.
    DISPLAY=$(cut -d' ' -f1 "$display_file") wine cmd.exe /c exit </dev/null >/dev/null 2>&1
    # The desktop stays open while one program uses it: the keeper given
    # as the second argument does until the server stops.
    if [ -n "${2:-}" ]; then
        DISPLAY=$(cut -d' ' -f1 "$display_file") wine "$2" </dev/null >/dev/null 2>&1 &
    fi
    ;;
stop)
    wineserver --kill </dev/null >/dev/null 2>&1 || true
    if [ -f "$display_file" ]; then
        kill "$(cut -d' ' -f2 "$display_file")" 2>/dev/null || true
        rm -f "$display_file"
    fi
    ;;
esac
