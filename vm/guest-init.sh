#!/bin/busybox sh
# SPDX-License-Identifier: MIT
# /init of the lab guest: mounts what the programs need, loads the HID
# modules, starts the virtual accessories and runs the scenarios or the
# benchmark (brimsel.mode= on the kernel command line). Every line the host
# reads starts with "LAB ".
/bin/busybox --install -s /bin
export PATH=/bin:/lab HOME=/tmp XDG_RUNTIME_DIR=/tmp/xdg QT_QPA_PLATFORM=offscreen
mkdir -p /proc /sys /dev /run /tmp
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev
mount -t tmpfs run /run
mount -t tmpfs tmp /tmp
mkdir -p /run/lab /tmp/xdg
chmod 700 /tmp/xdg
echo "LAB BOOTED $(uname -r) after $(cut -d' ' -f1 /proc/uptime) s"

# No udevd: libudev reads sysfs and devtmpfs makes the nodes. Without
# hid-generic a uhid device gets no hidraw node.
for m in hid uhid hid-generic; do
    insmod /lib/modules/$m.ko || echo "LAB FATAL cannot load $m"
done
[ -c /dev/uhid ] || echo "LAB FATAL no /dev/uhid"

export BRIMSEL_LAB_FIFO=/run/lab/accessories.ctl BRIMSEL_LAB_LOG=/run/lab/accessories.log
uhid-accessory -c $BRIMSEL_LAB_FIFO -l $BRIMSEL_LAB_LOG &
while ! grep -q READY $BRIMSEL_LAB_LOG 2>/dev/null; do sleep 0.1; done

case " $(cat /proc/cmdline) " in
*" brimsel.mode=bench "*) bench_realstack 2>&1 | sed 's/^/LAB INFO /' ;;
*) . /lab/scenarios.sh ;;
esac

echo quit >$BRIMSEL_LAB_FIFO
echo "LAB END"
poweroff -f
