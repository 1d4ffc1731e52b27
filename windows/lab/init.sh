#!/bin/busybox sh
# SPDX-License-Identifier: MIT
# /init of the Windows lab's guest: loads the modules, mounts the Wine tree
# (first virtio disk) and the prefix (second), and makes the tree the root
# for the scenarios, where Wine, udevd and Xvfb are, or for making the
# prefix. Not a chroot: udevadm and udevd ignore requests in one. Every line
# the host reads starts with "LAB ".
/bin/busybox --install -s /bin
export PATH=/bin
mkdir -p /proc /sys /dev /tmp /wine
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
echo "LAB BOOTED $(uname -r) after $(cut -d' ' -f1 /proc/uptime) s"

fatal() {
    echo "LAB FATAL $*"
    echo "LAB END"
    poweroff -f
}

while read -r m; do
    insmod /lib/modules/$m || fatal "cannot load $m"
done </lib/modules/order
[ -c /dev/uhid ] || fatal "no /dev/uhid"
i=0
while [ ! -b /dev/vdb ] && [ $i -lt 100 ]; do
    i=$((i + 1))
    sleep 0.1
done
mount -t ext4 /dev/vda /wine || fatal "cannot mount the Wine tree: $(ls /dev/vd* 2>&1); $(grep ext4 /proc/filesystems)"
mkdir -p /wine/prefix
mount -t ext4 /dev/vdb /wine/prefix || fatal "cannot mount the Wine prefix"
mount --move /dev /wine/dev
mount --move /proc /wine/proc
mount --move /sys /wine/sys
mount -t tmpfs tmp /wine/tmp
mount -t tmpfs run /wine/run
# switch_root empties the initramfs: what the scenarios need goes to /tmp.
cp -a /lab /wine/tmp/lab && cp /bin/busybox /wine/tmp/lab/busybox || fatal "cannot copy the lab"
(cd /wine/tmp && unzip -q /lab/windows.zip) || fatal "cannot unpack the zip"
echo "LAB INFO disks mounted after $(cut -d' ' -f1 /wine/proc/uptime) s"

# brimsel.mode=prefix: make the prefix on its disk instead (lab.sh).
script=scenarios.sh
grep -q 'brimsel.mode=prefix' /wine/proc/cmdline && script=prefix.sh
exec switch_root /wine /bin/sh /tmp/lab/$script
