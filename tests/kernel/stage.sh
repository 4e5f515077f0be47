#!/usr/bin/env bash
# The kernel stage: boots a Debian kernel under QEMU (TCG, no network card)
# from an initramfs made here, and runs tests/kernel/cases.sh in the guest
# with the pyrrow-cli and pyrrow-sim of a build, against the kernel's real
# uhid, hidraw and 8250 UART drivers.
#
# Usage: tests/kernel/stage.sh BUILD KERNEL UDEV WORK [CASE...]
#   BUILD   a build folder holding cli/pyrrow-cli and sim/pyrrow-sim (and
#           tests/qt_host_tests for the window's case)
#   KERNEL  an unpacked Debian kernel package (boot/vmlinuz-*, lib/modules/*)
#   UDEV    an unpacked Debian udev package (bin/udevadm)
#   WORK    a folder for the guest's files and its console log (made afresh)
#   CASE    run only these cases (names in cases.sh); default all
# With PYRROW_KERNEL_VERBOSE=1 the guest shows the log of every case, not
# only of those that failed.
# The guest's console goes to standard output and WORK/console.log. Exit 0
# when every case passed, 1 when one failed or the guest gave no result.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
[ $# -ge 4 ] || { sed -n '7,17p' "$0" >&2; exit 2; }
build=$1 kernel=$2 udev=$3 work=$4
shift 4

# The guest powers itself off after this many seconds whatever happens;
# the host ends QEMU a little later.
watchdog=150
limit=170

die() {
    echo "kernel stage: $*" >&2
    exit 1
}

root=$work/root
rm -rf "$work"
mkdir -p "$root"/{bin,dev,proc,sys,tmp,run,usr/bin,etc/udev/rules.d,stage/modules}

# Copies the program FILE to TARGET in the guest, without its debugging
# information, with the shared libraries it needs (the loader included) at
# the paths the loader looks for them.
copy_program() { # FILE TARGET
    local file=$1 target=$2 libs
    [ -f "$file" ] || die "$file is missing"
    install -D -m 755 "$file" "$root$target"
    strip --strip-debug "$root$target"
    libs=$(ldd "$file") || die "ldd $file: $libs"
    if grep -q 'not found' <<< "$libs"; then
        die "$file needs libraries this machine lacks: $(grep 'not found' <<< "$libs" | tr -s ' \t' ' ')"
    fi
    for lib in $(awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' <<< "$libs"); do
        [ -e "$root$lib" ] || install -D -m 755 "$(readlink -f "$lib")" "$root$lib"
    done
}

copy_program "$build/cli/pyrrow-cli" /usr/bin/pyrrow-cli
copy_program "$build/sim/pyrrow-sim" /usr/bin/pyrrow-sim
copy_program "$udev/bin/udevadm" /bin/udevadm
# The window's USB upload, when the build has its tests: the Qt test program
# with Qt's offscreen platform (the case names the guest's simulator in
# PYRROW_SIM).
if [ -x "$build/tests/qt_host_tests" ]; then
    copy_program "$build/tests/qt_host_tests" /usr/bin/qt_host_tests
    offscreen=$(find /usr/lib -path '*/qt6/plugins/platforms/libqoffscreen.so' | head -n 1)
    [ -n "$offscreen" ] || die "Qt's offscreen platform plugin is missing"
    copy_program "$offscreen" "$offscreen"
fi
install -m 755 "$(command -v busybox)" "$root/bin/busybox"
! ldd "$root/bin/busybox" > /dev/null 2>&1 || die "$(command -v busybox) is not the static one (busybox-static)"

vmlinuz=$(ls "$kernel"/boot/vmlinuz-* 2> /dev/null | head -n 1)
[ -n "$vmlinuz" ] || die "no kernel in $kernel/boot"
for module in hid uhid hid-generic; do
    found=$(find "$kernel"/lib/modules/*/kernel/drivers/hid -maxdepth 1 -name "$module.ko*" | head -n 1)
    [ -n "$found" ] || die "the kernel in $kernel has no module $module"
    case $found in
    *.ko) cp "$found" "$root/stage/modules/$module.ko" ;;
    *.ko.xz) xz -dc "$found" > "$root/stage/modules/$module.ko" ;;
    *.ko.zst) zstd -qdc "$found" > "$root/stage/modules/$module.ko" ;;
    *) die "$found: a compression this script does not know" ;;
    esac
done

install -m 644 "$source_dir/dist/linux/70-pyrrow.rules" "$root/etc/udev/rules.d/"
printf 'root:x:0:0:root:/root:/bin/sh\ntester:x:1000:1000:tester:/tmp:/bin/sh\n' > "$root/etc/passwd"
printf 'root:x:0:\nplugdev:x:46:\ntester:x:1000:\n' > "$root/etc/group"
install -m 755 "$here/init" "$root/init"
install -m 644 "$here/cases.sh" "$root/stage/cases.sh"
echo "$watchdog" > "$root/stage/watchdog"
echo "$*" > "$root/stage/selected"
[ "${PYRROW_KERNEL_VERBOSE:-0}" = 0 ] || touch "$root/stage/verbose"

(cd "$root" && find . | cpio -o -H newc -R 0:0 --quiet) > "$work/initramfs.cpio"

# ttyS0 is the console; ttyS1 (the program's port) and ttyS2 (the unit's)
# are wired to each other through a socket of QEMU's own.
uart=$work/uart.sock
rm -f "$uart"
status=0
timeout --kill-after=10 "$limit" qemu-system-x86_64 \
    -machine accel=tcg -m 768M -smp 1 -nodefaults -nic none -display none -monitor none -no-reboot \
    -kernel "$vmlinuz" -initrd "$work/initramfs.cpio" \
    -append "console=ttyS0 panic=-1 quiet loglevel=3" \
    -serial stdio \
    -chardev "socket,id=program,path=$uart,server=on,wait=off" -serial chardev:program \
    -chardev "socket,id=unit,path=$uart" -serial chardev:unit \
    < /dev/null | tr -d '\r' | tee "$work/console.log" || status=$?

summary=$(grep -E '^kernel stage: [0-9]+ passed, [0-9]+ failed' "$work/console.log" | tail -n 1) || true
[ $status -ne 124 ] || die "QEMU did not end within $limit s"
[ $status -eq 0 ] || die "QEMU ended with $status"
[ -n "$summary" ] || die "the guest ended without its result (see $work/console.log)"
failed=$(sed -E 's/.* ([0-9]+) failed.*/\1/' <<< "$summary")
[ "$failed" -eq 0 ] || die "$failed case(s) failed"
