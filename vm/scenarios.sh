# SPDX-License-Identifier: MIT
# The lab's scenarios, sourced by guest-init.sh (busybox sh) with
# uhid-accessory running. Each prints one "LAB RESULT PASS|FAIL name" line;
# "LAB INFO" lines carry figures and details.

TAB=$(printf '\t')
FIFO=$BRIMSEL_LAB_FIFO
LOG=$BRIMSEL_LAB_LOG

. /lab/labcheck.sh
centis() { cut -d' ' -f1 /proc/uptime | tr -d .; }

# hidraw nodes of product $1 (vendor 0x1209) in sysfs
nodes() { ls -d /sys/bus/hid/devices/0003:1209:$1.*/hidraw/hidraw* 2>/dev/null | wc -l; }
# wait_nodes PRODUCT COUNT: until the kernel shows that many
wait_nodes() {
    i=0
    while [ "$(nodes $1)" -ne "$2" ]; do
        i=$((i + 1))
        [ $i -gt 100 ] && return 1
        sleep 0.05
    done
}
# ctl ARGS...: runs brimsel-ctl, never longer than 30 s; sets status, out, err, took (centiseconds)
ctl() {
    start=$(centis)
    timeout 30 brimsel-ctl "$@" >/tmp/ctl.out 2>/tmp/ctl.err
    status=$?
    took=$(($(centis) - start))
    out=$(cat /tmp/ctl.out)
    err=$(cat /tmp/ctl.err)
}
unplug_all() {
    for n in hb sq h; do acc "answer $n ok"; acc "unplug $n"; done
    wait_nodes 3103 0 && wait_nodes 3102 0 && wait_nodes 3104 0
}

# Other HID devices, as on a sim-racing PC: keyboards of other vendors, and
# another product of the shared vendor 0x1209.
acc "keyboards 3"
acc "plug other 3105"
wait_nodes 3105 1

ctl_list_none_scenario

name=ctl-list-three
acc "plug hb 3103"
acc "plug sq 3102"
acc "plug h 3104"
wait_nodes 3103 1 && wait_nodes 3102 1 && wait_nodes 3104 1
ctl --list
problem=""
[ $status = 0 ] || problem="status $status"
[ "$(echo "$out" | wc -l)" = 3 ] || problem="$problem; not three lines"
for pid in 3103 3102 3104; do
    node=$(basename $(ls -d /sys/bus/hid/devices/0003:1209:$pid.*/hidraw/hidraw*))
    echo "$out" | grep -q "${TAB}0x$pid${TAB}/dev/$node${TAB}VA-" || problem="$problem; no line for $pid at /dev/$node"
done
echo "$out" | grep -q 3105 && problem="$problem; lists 0x3105"
echo "$out" | sed 's/^/LAB INFO   /'
# Where the kernel puts a uhid device: no USB device above it, so no
# ATTRS{idVendor} for the udev rule to match.
info "sysfs path of the handbrake's hidraw node: $(readlink -f /sys/class/hidraw/$(basename $(ls -d /sys/bus/hid/devices/0003:1209:3103.*/hidraw/hidraw*)))"
if [ -z "$problem" ]; then pass $name; else fail $name "$problem: [$out]"; fi

# A user without the udev rule: devtmpfs makes the nodes root's, mode 0600.
name=ctl-list-no-access
mkdir -p /etc
grep -qs '^racer:' /etc/passwd || echo 'racer:x:1000:1000::/tmp:/bin/sh' >>/etc/passwd
grep -qs '^racer:' /etc/group || echo 'racer:x:1000:' >>/etc/group
timeout 30 su racer -s /bin/sh -c 'brimsel-ctl --list' >/tmp/ctl.out 2>/tmp/ctl.err
status=$?
out=$(cat /tmp/ctl.out)
err=$(cat /tmp/ctl.err)
problem=""
[ $status = 0 ] || problem="status $status"
[ "$(echo "$out" | grep -c "${TAB}cannot be opened\$")" = 3 ] || problem="$problem; not three marked"
echo "$err" | grep -q "Handbrake: plugged in, but it cannot be opened: no access to its hidraw node" ||
    problem="$problem; err [$err]"
if [ -z "$problem" ]; then pass $name; else fail $name "$problem: [$out]"; fi

ctl_color_all_scenario

ctl_device_and_error_scenarios

name=ctl-hung-accessories
ctl --list
base=$took
acc "answer hb never"
acc "answer h never"
m=$(mark)
ctl --color blue
problem=""
[ $status = 1 ] || problem="status $status"
echo "$err" | grep -q "Handbrake: no answer within 500 ms" || problem="$problem; err [$err]"
echo "$err" | grep -q "H Shifter: no answer within 500 ms" || problem="$problem; err [$err]"
[ "$out" = "SQ Shifter: #0000ff" ] || problem="$problem; out [$out]"
problem="$problem$(expect_reports sq $m '02 00 ff 00' 2)"
# The bound --help states: 7 s, on top of start-up (as long as --list takes).
[ $((took - base)) -le 700 ] || problem="$problem; took $((took * 10)) ms, --list $((base * 10)) ms"
info "two hung accessories: exit $status after $((took * 10)) ms (--list takes $((base * 10)) ms)"
echo "$err" | sed 's/^/LAB INFO   /'
if [ -z "$problem" ]; then pass $name; else fail $name "$problem"; fi
unplug_all

# --stream with the handbrake hung and the shifters open: SIGTERM ends it
# once the write under way is done, not when the kernel gives up (5 s).
name=stream-sigterm-one-hung
acc "plug hb 3103"
acc "plug sq 3102"
acc "plug h 3104"
wait_nodes 3103 1 && wait_nodes 3102 1 && wait_nodes 3104 1
acc "answer hb never"
rm -f /tmp/stream.in
mkfifo /tmp/stream.in
m=$(mark)
brimsel-ctl --stream </tmp/stream.in >/tmp/stream.out 2>/tmp/stream.err &
spid=$!
exec 7>/tmp/stream.in
echo red >&7
i=0
while [ "$(reports hb $m | wc -l)" -lt 1 ] && [ $i -lt 200 ]; do
    i=$((i + 1))
    sleep 0.05
done
start=$(centis)
kill -TERM $spid
# At most 20 s, should it not end at all.
( sleep 20; kill -KILL $spid 2>/dev/null ) &
guard=$!
wait $spid
status=$?
took=$(($(centis) - start))
kill $guard 2>/dev/null
exec 7>&-
problem=""
[ $status = 143 ] || problem="status $status"
[ $took -le 200 ] || problem="$problem; took $((took * 10)) ms"
problem="$problem$(expect_reports sq $m '02 ff 00 00' 2)$(expect_reports h $m '02 ff 00 00' 2)"
info "stream, handbrake hung, shifters open: ended $((took * 10)) ms after SIGTERM, exit $status"
sed 's/^/LAB INFO   /' /tmp/stream.err
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi
unplug_all

# The window and its worker, in a Qt Test program.
test_realstack -o /tmp/window.txt,txt >/tmp/window.err 2>&1
wstatus=$?
grep '^QINFO' /tmp/window.txt | sed 's/^QINFO  : TestRealStack::/LAB INFO window: /'
grep -E '^(PASS|FAIL!) ' /tmp/window.txt | grep -vE 'TestCase\(\)' | while read -r verdict _ rest; do
    fn=$(echo "$rest" | sed 's/^TestRealStack::\([a-zA-Z]*\)().*/\1/')
    if [ "$verdict" = PASS ]; then
        pass "window-$fn"
    else
        fail "window-$fn" "$(echo "$rest" | sed 's/^[^)]*) *//')"
    fi
done
grep -A3 '^FAIL!' /tmp/window.txt | grep -E '^\s+Loc:' | sed 's/^/LAB INFO   /'
if [ $wstatus != 0 ] && ! grep -q '^FAIL!' /tmp/window.txt; then
    fail window "test_realstack ended with status $wstatus"
    tail -n 20 /tmp/window.txt /tmp/window.err | sed 's/^/LAB INFO   /'
fi

# The udev rule matches the USB device above a hidraw node, and a uhid device
# has none (it sits under /sys/devices/virtual/misc/uhid). So the rule is run
# on USB HID gadgets: dummy_hcd joins a virtual host controller to a virtual
# device controller, and usbhid binds to each gadget as to a plugged-in
# device. udevadm test runs the rules on a node and prints its properties.
name=udev-rule
problem=""
load() {
    mod=$1
    shift
    insmod /lib/modules/$mod.ko "$@" || problem="$problem; cannot load $mod"
}
load usb-common
load usbcore
load udc-core
load dummy_hcd num=4
load configfs
load libcomposite
load usb_f_hid
load usbhid
mount -t configfs configfs /sys/kernel/config
# gadget PRODUCT UDC: vendor 0x1209, the accessory's report descriptor (as in
# uhid-accessory.c); no OUT endpoint, so SET_REPORTs are read from /dev/hidgN.
gadget() {
    g=/sys/kernel/config/usb_gadget/g$1
    mkdir $g && mkdir $g/strings/0x409 $g/functions/hid.0 $g/configs/c.1 || return 1
    echo 0x1209 >$g/idVendor
    echo 0x$1 >$g/idProduct
    echo "Lab gadget $1" >$g/strings/0x409/product
    echo 9 >$g/functions/hid.0/report_length
    echo 1 >$g/functions/hid.0/no_out_endpoint
    printf '\x06\x00\xff\x09\x01\xa1\x01\x85\x01\x09\x02\x15\x00\x26\xff\x00\x75\x08\x95\x08\x81\x02\x85\x02\x09\x03\x95\x03\xb1\x02\xc0' \
        >$g/functions/hid.0/report_desc
    ln -s $g/functions/hid.0 $g/configs/c.1/ && echo $2 >$g/UDC
}
# gadget_node PRODUCT: the gadget's hidraw node (the uhid 0x3105 is still plugged in)
gadget_node() {
    for d in /sys/bus/hid/devices/0003:1209:$1.*; do
        case $(readlink -f $d) in */dummy_hcd.*) ls $d/hidraw 2>/dev/null ;; esac
    done
}
i=0
for pid in 3103 3102 3104 3105; do
    gadget $pid dummy_udc.$i || problem="$problem; cannot make gadget $pid on dummy_udc.$i"
    i=$((i + 1))
done
for pid in 3103 3102 3104 3105; do
    i=0
    while [ -z "$(gadget_node $pid)" ] && [ $i -lt 200 ]; do
        i=$((i + 1))
        sleep 0.05
    done
    node=$(gadget_node $pid)
    if [ -z "$node" ]; then
        problem="$problem; no hidraw node for gadget $pid"
        continue
    fi
    [ $pid = 3103 ] && info "sysfs path of the handbrake gadget's node: $(readlink -f /sys/class/hidraw/$node)"
    timeout 30 udevadm test --action=add /sys/class/hidraw/$node >/tmp/udev.out 2>/tmp/udev.err
    ustatus=$?
    tags=$(sed -n 's/^TAGS=//p' /tmp/udev.out)
    info "udevadm test on gadget 0x$pid's /dev/$node: exit $ustatus, TAGS=$tags"
    if [ $ustatus != 0 ] || ! grep -q '^DEVNAME=' /tmp/udev.out; then
        problem="$problem; udevadm test failed on $pid"
        tail -n 5 /tmp/udev.err | sed 's/^/LAB INFO   /'
    fi
    case "$pid:$tags" in
    3105:*:uaccess:*) problem="$problem; 0x3105 got uaccess" ;;
    3105:*) ;;
    *:*:uaccess:*) ;;
    *) problem="$problem; 0x$pid did not get uaccess" ;;
    esac
done
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi

# What a USB device receives of a colour: the data stage of each SET_REPORT,
# which f_hid hands to readers of /dev/hidgN (numbered as the gadgets were made).
readers=""
for n in 0 1 2; do
    cat /dev/hidg$n >/tmp/hidg$n &
    readers="$readers $!"
done
ctl --color '#ff0080'
sleep 0.5
info "brimsel-ctl --color '#ff0080' to the gadgets: exit $status; read from /dev/hidg0-2:" \
    "[$(od -An -tx1 /tmp/hidg0)] [$(od -An -tx1 /tmp/hidg1)] [$(od -An -tx1 /tmp/hidg2)]"
kill $readers
