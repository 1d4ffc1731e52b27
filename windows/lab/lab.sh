#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows lab: the programs of the Windows zip, byte for byte, under
# Wine 10 on a real kernel HID stack. Boots Debian's current kernel under qemu
# (TCG, no KVM) with the kernel of vm/lab.sh, the trixie tree of
# windows/wine10.sh as an ext4 disk (Wine, udevd, Xvfb), a ready Wine prefix
# as a second disk, and an initramfs with busybox, the modules, the virtual
# accessories, the zip and the scenarios (scenarios.sh beside this file and
# those it runs). Both disks are snapshot=on, so every boot starts from the
# same clean prefix.
#
#   windows/lab/lab.sh [ZIP]    (default: the one build-win/brimsel-tool-*-windows-x86.zip)
#
# Called by ./build.sh windows-vm-test. Prints one line per scenario and
# "N passed, N failed"; exits non-zero on any failure, and when the guest or
# Wine does not come up or the run does not finish.
#
# The prefix alone gets labcfgmgr32.c as its cfgmgr32.dll: Wine 10 stubs
# the calls hidapi enumerates with, which Windows has.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
here=windows/lab
if [ $# -ge 1 ]; then
    zip=$(realpath "$1")
else
    zips=(build-win/brimsel-tool-*-windows-x86.zip)
    [ "${#zips[@]}" -eq 1 ] && [ -f "${zips[0]}" ] || {
        echo "windows-vm-test: expected one build-win/brimsel-tool-*-windows-x86.zip; run ./build.sh windows first" >&2
        exit 1
    }
    zip=$root/${zips[0]}
fi
[ -f "$zip" ] || { echo "windows-vm-test: no $zip" >&2; exit 1; }
cache=${XDG_CACHE_HOME:-$HOME/.cache}/brimsel-tool/winelab
mkdir -p "$cache"
# In /tmp, which the Wine tree shares with the host.
work=$(mktemp -d /tmp/brimsel-winelab.XXXXXX)
trap 'rm -rf "$work"' EXIT

die() {
    echo "windows-vm-test: $*" >&2
    exit 1
}

# The HID stack, and the virtio disk with ext4 for the Wine tree.
modules=(hid uhid hid-generic virtio_pci virtio_blk crc32c_generic ext4)

tree=$(windows/wine10.sh tree)
tree_image=$(windows/wine10.sh image)

. vm/kernel.sh
lab_kernel "${modules[@]}"

# The stand-in cfgmgr32.dll, and the prefix it goes into: kept as an ext4
# image keyed on the tree, the DLL and how the prefix is made. Always made in
# the lab's guest (minutes under TCG, once per key): many hosts refuse 32-bit
# programs (a kernel without IA32 emulation, a paravirtualised guest), and one
# way on every host leaves no branch that CI on one kind of host never runs.
i686-w64-mingw32-gcc-posix -O2 -Wall -Wextra -Werror -shared -static -s -Wl,--no-insert-timestamp -o "$work/cfgmgr32.dll" \
    $here/labcfgmgr32.c $here/labcfgmgr32.def -lsetupapi
key=$( (basename "$tree"; cat $here/labcfgmgr32.c $here/labcfgmgr32.def $here/prefix.sh; sed -n '/^lab_reg()/,/^}/p' "$0") |
    sha256sum | cut -c1-12)
prefix_image=$cache/prefix-$key.ext4
# The registry entries of the lab: the stand-in for our programs alone, no
# Gecko or Mono prompts, no menu entries, no crash dialog.
lab_reg() {
    printf 'REGEDIT4\r\n\r\n'
    for exe in brimsel-ctl.exe brimsel-tool.exe brimsel-lights.exe; do
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\DllOverrides]\r\n' "$exe"
        printf '"cfgmgr32"="native,builtin"\r\n\r\n'
    done
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"mscoree"=""\r\n"mshtml"=""\r\n"winemenubuilder.exe"=""\r\n\r\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n\r\n'
}

# The initramfs: busybox, the modules, the accessories (static, so that they
# run both in the initramfs and in the tree), the zip and the scenarios.
lab=$work/initramfs
mkdir -p "$lab/bin" "$lab/lib/modules" "$lab/lab"
cp /usr/bin/busybox "$lab/bin/"
file -L /usr/bin/busybox | grep -q 'statically linked' || die "/usr/bin/busybox is not the static busybox"
cp "$kernel"/modules/*.ko "$kernel/modules/order" "$lab/lib/modules/"
gcc -O2 -Wall -Wextra -Werror -static -o "$lab/lab/uhid-accessory" vm/uhid-accessory.c
gcc -O2 -Wall -Wextra -Werror -static -o "$lab/lab/gt7-console" $here/gt7-console.c
i686-w64-mingw32-gcc-posix -O2 -Wall -Wextra -Werror -static -s -o "$lab/lab/sim-memory.exe" \
    $here/sim-memory.c
# The Gran Turismo 7 packet captured from the game, as it came.
printf "$(grep -v '^#' tests/data/gt7-296.hex | tr -d ' \n' | sed 's/../\\x&/g')" >"$lab/lab/gt7-296.bin"
install -m 755 $here/init.sh "$lab/init"
install -m 755 $here/prefix.sh "$lab/lab/prefix.sh"
install -m 644 $here/scenarios*.sh $here/helpers.sh windows/windowtools.sh vm/labcheck.sh "$lab/lab/"
cp "$zip" "$lab/lab/windows.zip"
# F1 24 packets for --telemetry, as the game lays them out: Car Status (the
# player's maximum 12000 RPM) and Car Telemetry (11000 RPM, 4th gear, rev
# lights at 100 %), the player's car at index 0 after the 29-byte header.
put() { printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none; }
head -c 1239 /dev/zero >"$lab/lab/f1-status.bin"
put "$lab/lab/f1-status.bin" 0 '\350\007\030'
put "$lab/lab/f1-status.bin" 6 '\007'
put "$lab/lab/f1-status.bin" $((29 + 17)) '\340\056'
head -c 1352 /dev/zero >"$lab/lab/f1-telemetry.bin"
put "$lab/lab/f1-telemetry.bin" 0 '\350\007\030'
put "$lab/lab/f1-telemetry.bin" 6 '\006'
put "$lab/lab/f1-telemetry.bin" $((29 + 15)) '\004\370\052'
put "$lab/lab/f1-telemetry.bin" $((29 + 19)) '\144'

# The installer built beside it, if any, for the installer scenario.
setup=${zip%-windows-x86.zip}-setup.exe
[ ! -f "$setup" ] || cp "$setup" "$lab/lab/"
(cd "$lab" && find . | LC_ALL=C sort | cpio -o -H newc --quiet >"$work/initrd.cpio")

# boot_guest LOG PREFIX_SNAPSHOT MODE: the guest with the tree and the
# prefix as disks; the console goes to LOG as it comes, to follow a long run
# with tail -f. Sets status to qemu's.
boot_guest() {
    status=0
    timeout 2400 qemu-system-x86_64 -accel tcg -machine pc -cpu qemu64,+rdrand -smp 2 -m 2048 \
        -bios /usr/share/qemu/qboot.rom -nic none -display none -monitor none -serial "file:$1.raw" -no-reboot \
        -kernel "$kernel/vmlinux" -initrd "$work/initrd.cpio" \
        -drive "file=$tree_image,if=virtio,format=raw,snapshot=on" \
        -drive "file=$prefix_image${2:+.tmp},if=virtio,format=raw,snapshot=${2:-on}" \
        -append "console=ttyS0 quiet loglevel=3 panic=-1 brimsel.mode=$3" \
        </dev/null >"$1.qemu" 2>&1 || status=$?
    { tr -d '\r' <"$1.raw"; cat "$1.qemu"; } >"$1"
    rm -f "$1.raw" "$1.qemu"
}

mkdir -p build-win
if [ ! -f "$prefix_image" ]; then
    echo "Making the lab's Wine prefix ($prefix_image)"
    mkdir -p "$work/prefix/.setup"
    cp "$work/cfgmgr32.dll" "$work/prefix/.setup/"
    lab_reg >"$work/prefix/.setup/lab.reg"
    mkfs.ext4 -q -F -L prefix -d "$work/prefix" "$prefix_image.tmp" 1600M >&2
    boot_guest build-win/windows-vm-prefix.log off prefix
    grep -q '^LAB PREFIX READY' build-win/windows-vm-prefix.log || {
        tail -n 30 build-win/windows-vm-prefix.log >&2
        die "making the prefix in the guest failed (qemu status $status; guest log: build-win/windows-vm-prefix.log)"
    }
    mv "$prefix_image.tmp" "$prefix_image"
    rm -rf "$work/prefix"
    find "$cache" -maxdepth 1 -name 'prefix-*.ext4' ! -path "$prefix_image" -delete
fi

log=$root/build-win/windows-vm-test.log
echo "Booting $package $version under qemu TCG with Wine $(cat "$tree/.wine-version") (guest log: $log)"
echo "  programs from $zip"
boot_guest "$log" "" test

. vm/labresults.sh
lab_results "$log" $status count
