#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The VM lab: boots Debian's current kernel under qemu (TCG, no KVM) with an
# initramfs holding busybox, the HID and USB gadget modules, udevadm, the
# virtual accessories and the programs built in BUILD_DIR with every library
# they load, and runs the scenarios (test) or the benchmark (bench) there.
#
#   vm/lab.sh test|bench BUILD_DIR
#
# Called by ./build.sh vm-test and vm-bench, which install what it needs and
# build the programs first. The kernel, udevadm and the library part of the
# initramfs are cached in ~/.cache/brimsel-tool/vm. Prints one line per
# scenario and "N passed, N failed"; exits non-zero on any failure, and when
# the guest does not boot or does not finish.
set -euo pipefail
mode=$1
build=$(realpath "$2")
cd "$(dirname "$0")"
cache=${XDG_CACHE_HOME:-$HOME/.cache}/brimsel-tool/vm
mkdir -p "$cache"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

die() {
    echo "vm-$mode: $*" >&2
    exit 1
}

# The HID stack for the accessories; and for the udev rule's check, USB HID
# gadgets on dummy_hcd's virtual host, whose hidraw nodes have real USB parents.
modules=(hid uhid hid-generic usb-common usbcore udc-core dummy_hcd configfs libcomposite usb_f_hid usbhid)

# candidate PACKAGE: the version apt-get download would fetch
candidate() {
    apt-cache show --no-all-versions "$1" 2>/dev/null | awk '/^Version:/ { print $2; exit }'
}
. ./kernel.sh
lab_kernel "${modules[@]}"

# udevadm from Debian's udev package, fetched once and never installed, to
# run the project's udev rule in the guest.
udev_version=$(candidate udev)
[ -n "$udev_version" ] || die "apt knows no udev package"
udev=$cache/udev-$udev_version
if [ ! -x "$udev/udevadm" ]; then
    echo "Fetching udev $udev_version"
    deb=$(lab_fetch udev)
    mkdir -p "$udev.tmp"
    udevadm=$(dpkg-deb -c "$deb" | awk '$6 ~ /\/bin\/udevadm$/ { path = $6 } END { print path }')
    [ -n "$udevadm" ] || die "the udev package has no udevadm"
    dpkg-deb --fsys-tarfile "$deb" | tar -x -O "$udevadm" >"$udev.tmp/udevadm"
    chmod 755 "$udev.tmp/udevadm"
    rm -rf "$udev" && mv "$udev.tmp" "$udev"
    rm -f "$deb"
    find "$cache" -maxdepth 1 -name 'udev-*' ! -path "$udev" -exec rm -rf {} +
fi
missing=$(ldd "$udev/udevadm" | awk '/not found/ { printf " %s", $1 }')
[ -z "$missing" ] || die "udevadm needs libraries this machine lacks:$missing"

# The programs, and everything they load: shared libraries, the ld.so, Qt's
# offscreen platform plugin, and a font for Qt.
programs=(uhid-accessory brimsel-ctl brimsel-tool test_realstack bench_realstack)
paths=("$build/vm/uhid-accessory" "$build/ctl/brimsel-ctl" "$build/app/brimsel-tool"
    "$build/vm/test_realstack" "$build/vm/bench_realstack")
for p in "${paths[@]}"; do [ -x "$p" ] || die "$p is not built"; done
qtcore=$(ldd "$build/app/brimsel-tool" | awk '$1 ~ /^libQt5Core/ { print $3 }')
plugin=$(realpath "$(dirname "$qtcore")/qt5/plugins/platforms/libqoffscreen.so")
[ -f "$plugin" ] || die "no Qt offscreen plugin at $plugin"
libs=$( (for p in "${paths[@]}" "$plugin" "$udev/udevadm"; do ldd "$p" 2>/dev/null || true; done) |
    awk '$2 == "=>" && $3 ~ /^\// { print $3 } $1 ~ /^\// { print $1 }' | sort -u)
extras=(/usr/bin/busybox "$plugin" /usr/share/fonts/truetype/dejavu/DejaVuSans.ttf /etc/fonts/fonts.conf)
[ -x /usr/bin/busybox ] && file -L /usr/bin/busybox | grep -q 'statically linked' ||
    die "/usr/bin/busybox is not the static busybox (busybox-static)"

# The library part changes only with the host's packages, the kernel or udevadm.
manifest=$( (echo "$kernel" "$udev"
    # shellcheck disable=SC2086
    for f in $libs "${extras[@]}"; do [ -e "$f" ] && stat -L -c '%n %s %Y' "$f"; done) | sha256sum | cut -c1-16)
base=$cache/base-$manifest.cpio
if [ ! -f "$base" ]; then
    root=$work/base
    mkdir -p "$root/bin" "$root/lib/modules" "$root/etc"
    cp /usr/bin/busybox "$udev/udevadm" "$root/bin/"
    cp "$kernel"/modules/*.ko "$root/lib/modules/"
    # shellcheck disable=SC2086
    for f in $libs "${extras[@]:1}"; do
        [ -e "$f" ] || continue
        mkdir -p "$root$(dirname "$f")"
        cp -L "$f" "$root$f"
    done
    cp -rL /etc/fonts "$root/etc/"
    (cd "$root" && find . | LC_ALL=C sort | cpio -o -H newc --quiet >"$base.tmp")
    mv "$base.tmp" "$base"
    find "$cache" -maxdepth 1 -name 'base-*.cpio' ! -path "$base" -delete
fi

# The lab part: built anew every run.
lab=$work/lab
mkdir -p "$lab/lab"
install -m 755 guest-init.sh "$lab/init"
install -m 644 scenarios.sh "$lab/lab/scenarios.sh"
install -m 644 labcheck.sh "$lab/lab/labcheck.sh"
install -D -m 644 ../packaging/70-brimsel-tool.rules "$lab/usr/lib/udev/rules.d/70-brimsel-tool.rules"
for i in "${!programs[@]}"; do install -m 755 "${paths[$i]}" "$lab/lab/${programs[$i]}"; done
(cd "$lab" && find . | LC_ALL=C sort | cpio -o -H newc --quiet >"$work/lab.cpio")
# The kernel unpacks concatenated archives one after the other.
cat "$base" "$work/lab.cpio" >"$work/initrd.cpio"

guestlog=$build/vm-$mode.log
echo "Booting $package $version under qemu TCG (guest log: $guestlog)"
status=0
timeout 900 qemu-system-x86_64 -accel tcg -machine pc -cpu qemu64,+rdrand -smp 2 -m 1024 \
    -bios /usr/share/qemu/qboot.rom -nic none -nographic -no-reboot \
    -kernel "$kernel/vmlinux" -initrd "$work/initrd.cpio" \
    -append "console=ttyS0 quiet loglevel=3 panic=-1 brimsel.mode=$mode" \
    </dev/null 2>&1 | tr -d '\r' >"$guestlog" || status=$?

. ./labresults.sh
lab_results "$guestlog" $status $([ "$mode" = test ] && echo count)
