# SPDX-License-Identifier: MIT
# The Windows lab's window scenarios, driven through Xvfb, each accessory
# unplugged first and a new wineserver.

# Wine shows an unplug within 22 s when it shows it at all; past that, only a
# new wineserver lets go of the stale entries. The window starts with a new
# one either way: a wineserver that has seen the earlier plugs and unplugs
# once stopped hearing of new plugs altogether, while a new one saw them.
for n in hb sq h; do acc "unplug $n"; done
list_until 0 30 || info "--list still shows accessories 30 s after the unplug: [$out]"
fresh_wine
list_until 0 || fatal "--list still shows [$out] after the unplug and a new wineserver"

start=$(mono_ms)
wine $TOOL >/tmp/window.out 2>/tmp/window.err </dev/null &
wpid=$!
find_window "at the first start"
info "window shown $(($(mono_ms) - start)) ms after the start"

name=window-none
if wait_status "Device not found" 60; then pass $name; else fail $name "status bar reads [$text]"; fi

name=window-plug
t_plug=$(mono_ms)
acc "plug h"
if wait_status "1 Device connected" 90; then
    pass "$name: \"$text\" $(($(mono_ms) - t_plug)) ms after the plug"
else
    fail $name "status bar reads [$text] $(($(mono_ms) - t_plug)) ms after the plug"
    # Whether the kernel, udevd and Wine's listing have it.
    ctl --list
    info "window-plug: hidraw nodes [$(ls /sys/class/hidraw | tr '\n' ' ')], udevd" \
        "$(grep -qsx systemd-udevd /proc/[0-9]*/comm && echo running || echo gone), --list [$out]"
fi

name=window-color
click_h
m=$(mark)
set_html '#00ff80'
problem=""
wait_last h $m '02 00 80 ff' 60 || problem="the H shifter received [$got]"
problem="$problem$(expect_reports hb $m '' 0)$(expect_reports sq $m '' 0)"
first=$(tail -c +$((m + 1)) $LOG | grep ' SET_REPORT h .*data=02 00 80 ff' | head -n 1 |
    awk '{ split($1, t, "."); printf "%d", t[1] * 1000 + t[2] / 1000 }')
info "window: #00ff80 typed in the HTML field; the H shifter received [$got];" \
    "last key to its report: $((${first:-0} - t_typed - 50 * 7)) ms"
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi

name=window-unplug
t0=$(mono_ms)
acc "unplug h"
if wait_status "Device not found" 60; then
    pass "$name: \"$text\" $(($(mono_ms) - t0)) ms after the unplug"
else
    fail $name "status bar reads [$text]"
fi

name=window-replug
t0=$(mono_ms)
acc "plug h"
problem=""
wait_status "1 Device connected" 90 || problem="status bar reads [$text]"
info "replug to status: $(($(mono_ms) - t0)) ms"
m=$(mark)
set_html '#102030'
wait_last h $m '02 10 30 20' 60 || problem="$problem; the H shifter received [$got]"
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi

# Closing the window while a write hangs: the handbrake never answers, the
# others are open. The window waits 3 s for its worker, then ends anyway.
# First the same close with every accessory answering, for what Wine itself
# takes to end a process under TCG.
name=window-close-hung
acc "plug hb"
acc "plug sq"
problem=""
wait_status "3 Devices connected" 90 || problem="status bar reads [$text]"
close_window $wpid
normal_ended=$t_ended
info "close with none hung: window gone $t_gone ms after the request, process ended $t_ended ms later, exit status $wstatus"
wine $TOOL >/tmp/window.out 2>/tmp/window.err </dev/null &
wpid=$!
find_window "the second time"
wait_status "3 Devices connected" 90 || problem="$problem; status bar reads [$text] after the restart"
click_hb
click_sq
click_h
acc "answer hb never"
m=$(mark)
set_html '#ff00ff'
i=0
while [ -z "$(reports hb $m)" ] && [ $i -lt 300 ]; do
    i=$((i + 1))
    sleep 0.1
done
[ -n "$(reports hb $m)" ] || problem="$problem; no write reached the handbrake"
close_window $wpid
[ $wstatus = 0 ] || problem="$problem; exit status $wstatus"
grep -qi 'unhandled\|page fault\|exception' /tmp/window.err &&
    problem="$problem; crashed: $(grep -i -m 2 'unhandled\|page fault\|exception' /tmp/window.err)"
info "close with a hung write: window gone $t_gone ms after the request, process ended" \
    "$t_ended ms later, exit status $wstatus"
[ $((t_ended - normal_ended)) -le 3500 ] ||
    problem="$problem; ended $t_ended ms after its window closed, $((t_ended - normal_ended)) ms later than with none hung"
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi

