#!/bin/sh
# Makes the installer (CPack, NSIS) and tries it as a user would, silently:
# it installs for this user under the local programs folder with a
# Start-menu entry and an uninstall entry; the uninstaller removes them and
# keeps the operator's settings file.
#   installer_test.sh CPACK_CONFIG WORK_DIR
set -eu
: "${WINEPREFIX:?}"
export WINEDEBUG=-all
config=$1
work=$2
fail() { echo "FAILED: $*"; exit 1; }
on_windows() { wine cmd.exe /c "echo $1" </dev/null 2>/dev/null | tr -d '\r'; }

rm -rf "$work"
cpack --config "$config" -G NSIS -B "$work" >/dev/null
installer=$(ls "$work"/Pyrrow-*-win64.exe)
echo "made $(basename "$installer")"

folder=$(winepath -u "$(on_windows %LOCALAPPDATA%)\\Programs\\Pyrrow")
menu=$(winepath -u "$(on_windows %APPDATA%)\\Microsoft\\Windows\\Start Menu\\Programs")
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pyrrow'

wine "$installer" /S </dev/null >/dev/null 2>&1
for program in pyrrow.exe pyrrow-cli.exe pyrrow-sim.exe; do
    [ -f "$folder/$program" ] || fail "no $folder/$program"
done
# What a newcomer opens first, and the licence.
for text in README.txt LICENSE.txt; do
    [ -s "$folder/$text" ] || fail "no $folder/$text"
done
grep -q 'pyrrow-cli.exe' "$folder/README.txt" || fail "README.txt does not tell the programs"
grep -q 'MIT License' "$folder/LICENSE.txt" || fail "LICENSE.txt is not the licence"
[ -f "$folder/Uninstall.exe" ] || fail "no uninstaller"
[ -f "$menu/Pyrrow.lnk" ] || fail "no Start-menu entry"
wine reg query "$key" /v UninstallString </dev/null 2>/dev/null | grep -q 'Uninstall.exe' || fail "no uninstall entry"
echo "installed into $folder"

printf 'settings' > "$folder/pyrrow.config"
wine "$folder/Uninstall.exe" /S </dev/null >/dev/null 2>&1
# The uninstaller runs on from a copy of itself.
for _ in $(seq 100); do
    [ -e "$folder/pyrrow.exe" ] || [ -e "$folder/Uninstall.exe" ] || break
    sleep 0.1
done
for program in pyrrow.exe pyrrow-cli.exe pyrrow-sim.exe README.txt LICENSE.txt; do
    [ ! -e "$folder/$program" ] || fail "$program left behind"
done
[ ! -e "$menu/Pyrrow.lnk" ] || fail "Start-menu entry left behind"
! wine reg query "$key" </dev/null >/dev/null 2>&1 || fail "uninstall entry left behind"
[ "$(cat "$folder/pyrrow.config")" = settings ] || fail "the settings file went"
rm -rf "$folder"
echo "uninstalled, settings kept"
