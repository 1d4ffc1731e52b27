# SPDX-License-Identifier: MIT
# The Windows lab's scenarios, run by winelab-init.sh as the guest's first
# process, with the trixie tree as the root (/bin/sh). Each prints one "LAB RESULT PASS|FAIL name" line; "LAB INFO"
# lines carry figures and details; "LAB FATAL" when Wine or the guest's
# services do not come up.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin:/tmp/lab
export HOME=/tmp/home WINEPREFIX=/prefix WINEDEBUG=-all DISPLAY=:0 LANG=C.UTF-8
FIFO=/run/lab/accessories.ctl
LOG=/run/lab/accessories.log
DIST=$(echo /tmp/brimsel-tool-*)
CTL=$DIST/brimsel-ctl.exe
TOOL=$DIST/brimsel-tool.exe
TAB=$(printf '\t')
mkdir -p $HOME /run/lab
. /tmp/lab/labcheck.sh

end() {
    echo "LAB END"
    sync
    /tmp/lab/busybox poweroff -f
}
fatal() {
    echo "LAB FATAL $*"
    end
}
mono_ms() { date +%s%3N; }
# first_report_ms NAME MARK: the accessory's time stamp of the first one, in ms
first_report_ms() {
    tail -c +$(($2 + 1)) $LOG | grep -m 1 " SET_REPORT $1 " | awk '{ split($1, t, "."); printf "%d", t[1] * 1000 + t[2] / 1000 }'
}
# log_ms: the accessories' clock now, through a MARK line
log_ms() {
    m=$(mark)
    acc "mark clock"
    while ! tail -c +$((m + 1)) $LOG | grep -q ' MARK clock'; do sleep 0.05; done
    tail -c +$((m + 1)) $LOG | grep -m 1 ' MARK clock' | awk '{ split($1, t, "."); printf "%d", t[1] * 1000 + t[2] / 1000 }'
}
# ctl ARGS...: brimsel-ctl.exe under Wine, never longer than 300 s; sets
# status, out, err, took (ms), ctl_ended (when, on the accessories' clock)
ctl() {
    start=$(mono_ms)
    timeout 300 wine $CTL "$@" >/tmp/ctl.out 2>/tmp/ctl.err </dev/null
    status=$?
    # The accessories' clock (CLOCK_MONOTONIC; the guest never sleeps), in 10 ms
    ctl_ended=$(cut -d' ' -f1 /proc/uptime | tr -d .)0
    took=$(($(mono_ms) - start))
    out=$(tr -d '\r' </tmp/ctl.out)
    err=$(tr -d '\r' </tmp/ctl.err | grep -v '^[0-9a-f]*:\(err\|fixme\|warn\):')
}
# list_until COUNT [SECONDS]: runs --list until it shows COUNT accessories
# (Wine adds a new HID device some seconds after it appears), at most 90 s
list_until() {
    limit=$((${2:-90} * 1000))
    t0=$(mono_ms)
    while :; do
        ctl --list
        n=$(printf '%s' "$out" | grep -c .)
        [ "$n" -eq "$1" ] && return 0
        [ $(($(mono_ms) - t0)) -gt $limit ] && return 1
        sleep 1
    done
}

# udevd: Wine's HID bus hears of plugs and unplugs from it.
/usr/lib/systemd/systemd-udevd --daemon >/tmp/udevd.log 2>&1 || fatal "udevd did not start"
udevadm trigger --action=add && udevadm settle -t 60 || info "udevadm settle did not finish"
uhid-accessory -c $FIFO -l $LOG &
while ! grep -q READY $LOG 2>/dev/null; do sleep 0.1; done
Xvfb :0 -screen 0 1024x768x24 -nolisten tcp >/tmp/xvfb.log 2>&1 &
i=0
while [ ! -S /tmp/.X11-unix/X0 ]; do
    i=$((i + 1))
    [ $i -gt 300 ] && fatal "Xvfb did not start: $(tail -n 3 /tmp/xvfb.log)"
    sleep 0.1
done
[ -f "$CTL" ] && [ -f "$TOOL" ] || fatal "no programs from the zip in /tmp"
info "programs: $(cd $DIST && sha256sum brimsel-tool.exe brimsel-ctl.exe | awk '{ printf "%s %.16s  ", $2, $1 }')"

# Other HID devices, as on a sim-racing PC.
acc "keyboards 2"
acc "plug other 3105"

# Wine's first start brings up its services; a persistent wineserver keeps
# them (and Wine's list of HID devices) for the later runs.
wineserver -p
name=wine-start
t0=$(mono_ms)
timeout 300 wine $CTL --version >/tmp/ctl.out 2>/tmp/ctl.err </dev/null
status=$?
took=$(($(mono_ms) - t0))
version=$(tr -d '\r' </tmp/ctl.out)
if [ $status = 0 ] && [ -n "$version" ]; then
    pass "$name: \"$version\" after $((took / 1000)).$(((took % 1000) / 100)) s (cold start)"
else
    fail $name "status $status: $(tail -n 5 /tmp/ctl.err)"
    fatal "Wine did not come up"
fi
ctl --version
info "Wine start with the wineserver running: $took ms"

ctl_list_none_scenario

name=ctl-list-three
t_plug=$(mono_ms)
acc "plug hb 3103"
acc "plug sq 3102"
acc "plug h 3104"
problem=""
list_until 3 || problem="--list shows [$out] 90 s after the plug"
info "plug-in to --list showing all three: $(($(mono_ms) - t_plug)) ms (one --list: $took ms)"
[ $status = 0 ] || problem="$problem; status $status"
for line in "Handbrake${TAB}0x3103" "SQ Shifter${TAB}0x3102" "H Shifter${TAB}0x3104"; do
    printf '%s\n' "$out" | grep -qi "^$line${TAB}\\\\\\\\?\\\\hid#vid_1209&pid_${line##*0x}#.*${TAB}VA-" ||
        problem="$problem; no line [$line path serial]"
done
printf '%s\n' "$out" | grep -q 3105 && problem="$problem; lists 0x3105"
printf '%s\n' "$out" | sed 's/^/LAB INFO   /'
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi

name=ctl-color-all
m=$(mark)
t0=$(log_ms)
ctl --color '#ff0080'
problem=""
[ $status = 0 ] || problem="status $status, err [$err]"
for n in hb sq h; do problem="$problem$(expect_reports $n $m '02 ff 80 00' 2)"; done
first=$(first_report_ms hb $m)
info "brimsel-ctl.exe --color '#ff0080': each accessory received: $(reports hb $m | head -n 1) (twice);" \
    "run to the handbrake's first report: $((${first:-0} - t0)) ms, whole run $took ms"
tail -c +$((m + 1)) $LOG | grep ' SET_REPORT hb ' | head -n 1 | sed 's/^/LAB INFO   as logged: /'
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi

ctl_device_and_error_scenarios

# wait_last NAME MARK BYTES SECONDS: until the last two reports NAME received
# since MARK are BYTES; sets got
wait_last() {
    t0=$(mono_ms)
    while :; do
        got=$(reports $1 $2 | tr '\n' '|')
        case "|$got" in *"|$3|$3|") return 0 ;; esac
        [ $(($(mono_ms) - t0)) -gt $(($4 * 1000)) ] && return 1
        sleep 0.5
    done
}
name=ctl-stream
m=$(mark)
start=$(mono_ms)
printf '#ff0000\n# a comment\n#00ff00\n\n0,0,255\n' |
    timeout 300 wine $CTL --stream --device sq >/tmp/ctl.out 2>/tmp/ctl.err
status=$?
took=$(($(mono_ms) - start))
got=$(reports sq $m | tr '\n' '|')
problem=""
[ $status = 0 ] || problem="status $status: $(tr -d '\r' </tmp/ctl.err | tail -n 3)"
case "|$got" in
*"|02 00 ff 00|02 00 ff 00|") ;;
*) problem="$problem; the SQ shifter received [$got], not ending with the newest colour twice" ;;
esac
for c in $(printf '%s' "$got" | tr ' |' '_ '); do
    case $c in 02_ff_00_00 | 02_00_00_ff | 02_00_ff_00) ;; *) problem="$problem; unknown report $c" ;; esac
done
problem="$problem$(expect_reports hb $m '' 0)$(expect_reports h $m '' 0)"
info "--stream, three colours in: the SQ shifter received [$got] in $took ms"
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi

name=ctl-telemetry
# A Forza dash packet (311 bytes): race on, 7600 of 8000 RPM (95 %: the
# shifters' red stage, short of the 97 % flash), the handbrake pulled.
/tmp/lab/busybox ip link set lo up
{
    printf '\001\000\000\000\000\000\000\000\000\000\372\105\000\000\110\104\000\200\355\105'
    head -c 286 /dev/zero
    printf '\377\003'
    head -c 3 /dev/zero
} >/tmp/forza.bin
m=$(mark)
wine $CTL --telemetry 127.0.0.1:20777 >/tmp/ctl.out 2>/tmp/ctl.err </dev/null &
tpid=$!
t_started=$(log_ms)
# One datagram a write, ten a second, as long as it runs.
bash -c 'while :; do cat /tmp/forza.bin >/dev/udp/127.0.0.1/20777 2>/dev/null; sleep 0.1; done' &
spid=$!
problem=""
for n in hb sq h; do wait_last $n $m '02 ff 00 00' 90 || problem="$problem; $n received [$got]"; done
first=$(tail -c +$((m + 1)) $LOG | grep -m 1 ' SET_REPORT .*data=02 ff 00 00' |
    awk '{ split($1, t, "."); printf "%d", t[1] * 1000 + t[2] / 1000 }')
kill $spid
kill -TERM $tpid 2>/dev/null
i=0
while kill -0 $tpid 2>/dev/null && [ $i -lt 100 ]; do
    i=$((i + 1))
    sleep 0.1
done
kill -0 $tpid 2>/dev/null && problem="$problem; still running 10 s after SIGTERM" && kill -KILL $tpid
wait $tpid
tstatus=$?
err=$(tr -d '\r' </tmp/ctl.err | grep -v '^[0-9a-f]*:\(err\|fixme\|warn\):')
printf '%s' "$err" | grep -q "telemetry: Forza" || problem="$problem; err [$err]"
info "--telemetry, a Forza dash packet at 95 % with the handbrake pulled: handbrake [$(reports hb $m | tr '\n' '|')]," \
    "SQ [$(reports sq $m | tr '\n' '|')], H [$(reports h $m | tr '\n' '|')]; start to the first red: $([ -n "$first" ] && echo $((first - t_started)) ms || echo none);" \
    "exit $tstatus after SIGTERM"
printf '%s\n' "$err" | sed 's/^/LAB INFO   /'
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi

# fresh_wine: ends the wineserver and starts a new one, which lists the HID
# devices present anew; Wine at times keeps unplugged accessories listed
# for minutes, so that a later scenario would count them.
fresh_wine() {
    wineserver -k
    wineserver -w
    wineserver -p
    t0=$(mono_ms)
    timeout 300 wine $CTL --version >/dev/null 2>&1 </dev/null
    info "wineserver restarted: $(($(mono_ms) - t0)) ms to the next start"
}

# Wine shows an unplug within 22 s when it shows it at all; past that, only a
# new wineserver lets go of the stale entries. The window starts with a new
# one either way: a wineserver that has seen the earlier plugs and unplugs
# once stopped hearing of new plugs altogether, while a new one saw them.
for n in hb sq h; do acc "unplug $n"; done
list_until 0 30 || info "--list still shows accessories 30 s after the unplug: [$out]"
fresh_wine
list_until 0 || fatal "--list still shows [$out] after the unplug and a new wineserver"

# The window, driven through Xvfb. Qt draws its widgets itself, so the status
# bar is read from the screen.
status_text() {
    xwd -silent -id $window | xwdtopnm 2>/dev/null >/tmp/window.pnm || return
    h=$(head -c 20 /tmp/window.pnm | awk 'NR == 2 { print $2 }')
    pnmcut -top $((h - 28)) -width 300 /tmp/window.pnm 2>/dev/null | ppmtopgm | pamscale 4 -filter=sinc >/tmp/status.pnm 2>/dev/null
    tesseract /tmp/status.pnm - --psm 7 2>/dev/null | tr -s ' \n' ' ' | sed 's/ $//'
}
# wait_status TEXT SECONDS: until the status bar reads TEXT; sets text, waited (ms)
wait_status() {
    t0=$(mono_ms)
    while :; do
        text=$(status_text)
        waited=$(($(mono_ms) - t0))
        [ "$text" = "$1" ] && return 0
        [ $waited -gt $(($2 * 1000)) ] && return 1
        sleep 0.5
    done
}
# Positions in the window, as it lays itself out under Wine.
click() { xdotool mousemove --window $window $1 $2 click 1; }
click_hb() { click 15 79; }
click_sq() { click 15 54; }
click_h() { click 15 28; }
# set_html COLOUR: types COLOUR into the HTML field; sets t_typed (accessory clock)
set_html() {
    click 300 333
    xdotool key ctrl+a
    t_typed=$(log_ms)
    xdotool type --delay 50 "$1"
    xdotool key Return
}

# search_window SECONDS: waits that long at most for a window "Brimsel
# tool"; sets window, and fails if none showed.
search_window() {
    t0=$(mono_ms)
    window=""
    while [ -z "$window" ] && [ $(($(mono_ms) - t0)) -lt $(($1 * 1000)) ]; do
        window=$(xdotool search --onlyvisible --name '^Brimsel tool$' 2>/tmp/xdotool.err | head -n 1)
        [ -n "$window" ] || sleep 0.5
    done
    [ -n "$window" ]
}
# find_window WHEN: waits up to 180 s for the window of the program started
# as $wpid. Asked again and again rather than with --sync: a search gives up
# on an X error when some other window goes away while it looks.
find_window() {
    search_window 180 || fatal "no window \"Brimsel tool\" $1 within 180 s" \
        "(program $(kill -0 $wpid 2>/dev/null && echo running || echo ended)):" \
        "$(tail -n 5 /tmp/window.err) $(tail -n 2 /tmp/xdotool.err)"
}

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

# close_window PID: asks the window to close; sets t_gone (its window gone,
# ms after the request), t_ended (the process ended, ms after that),
# wstatus, and problem when it outlives 60 s
close_window() {
    t_close=$(mono_ms)
    wine taskkill /im brimsel-tool.exe >/dev/null 2>&1 &
    gone=""
    while kill -0 $1 2>/dev/null; do
        if [ -z "$gone" ] && ! xdotool search --onlyvisible --name '^Brimsel tool$' >/dev/null 2>&1; then
            gone=$(mono_ms)
        fi
        [ $(($(mono_ms) - t_close)) -gt 60000 ] && break
        sleep 0.1
    done
    ended=$(mono_ms)
    wstatus=0
    if kill -0 $1 2>/dev/null; then
        problem="$problem; still running 60 s after the close request"
        kill $1
    fi
    wait $1 || wstatus=$?
    gone=${gone:-$ended}
    t_gone=$((gone - t_close))
    t_ended=$((ended - gone))
}
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

# Last, as Wine may keep an accessory that hung after its unplug; a new
# wineserver, so that nothing of the window's hung write is left in Wine.
for n in hb sq h; do acc "answer $n ok"; done
sleep 6
fresh_wine
list_until 3 || info "--list shows [$out] after the new wineserver"
name=ctl-hung-accessories
acc "answer hb never"
acc "answer h never"
m=$(mark)
ctl --color blue
t_end=$ctl_ended
problem=""
[ $status = 1 ] || problem="status $status"
printf '%s' "$err" | grep -q "Handbrake: no answer within 500 ms" || problem="$problem; err [$err]"
printf '%s' "$err" | grep -q "H Shifter: no answer within 500 ms" || problem="$problem; err [$err]"
[ "$out" = "SQ Shifter: #0000ff" ] || problem="$problem; out [$out]"
problem="$problem$(expect_reports sq $m '02 00 ff 00' 2)"
# The bound --help states under Wine: 5 s after the system gives up on the
# first hung send, which the kernel does after 5 s (Wine finds each further
# accessory afresh, up to 2 s each under TCG); from the first send on, as
# Wine's start-up varies by seconds under TCG.
first=$(first_report_ms hb $m)
sending=$((t_end - ${first:-0}))
[ -n "$first" ] && [ $sending -le 10000 ] || problem="$problem; ended $sending ms after the first send"
info "two hung accessories: exit $status, ended $sending ms after the handbrake's first report (whole run $took ms)"
# When each send reached its accessory, from the first on.
tail -c +$((m + 1)) $LOG | grep -E ' (SET_REPORT|OPEN|CLOSE) ' |
    awk -v f=${first:-0} '{ split($1, t, "."); printf "LAB INFO   +%d ms %s %s %s\n", t[1] * 1000 + t[2] / 1000 - f, $2, $3, $NF }'
printf '%s\n' "$err" | sed 's/^/LAB INFO   /'
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi
acc "answer hb ok"
acc "answer h ok"
# Let the kernel give up on the hung requests.
sleep 6

# The installer, silently, in this 32-bit prefix: the zip's programs under
# Program Files, the uninstall entry and the Start-menu entry, and the
# uninstaller leaves none of them.
name=installer
setup=$(echo /tmp/lab/brimsel-tool-*-setup.exe)
if [ -f "$setup" ]; then
    key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brimsel tool'
    dir="$WINEPREFIX/drive_c/Program Files/Brimsel tool"
    lnk="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Brimsel tool.lnk"
    reg_value() {
        wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
            awk -v n="$1" '$1 == n { sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print }'
    }
    problem=""
    t0=$(mono_ms)
    timeout 300 wine "$setup" /S </dev/null >/dev/null 2>&1 || problem="; setup.exe /S: status $?"
    took=$(($(mono_ms) - t0))
    for exe in brimsel-tool.exe brimsel-ctl.exe uninstall.exe; do
        [ -f "$dir/$exe" ] || problem="$problem; no $exe in Program Files"
    done
    cmp -s "$TOOL" "$dir/brimsel-tool.exe" && cmp -s "$CTL" "$dir/brimsel-ctl.exe" ||
        problem="$problem; the installed programs differ from the zip's"
    [ "$(reg_value DisplayVersion)" = 2.0.0.0 ] || problem="$problem; DisplayVersion [$(reg_value DisplayVersion)]"
    uninstall=$(reg_value UninstallString | tr -d '"')
    [ "$uninstall" = 'C:\Program Files\Brimsel tool\uninstall.exe' ] || problem="$problem; UninstallString [$uninstall]"
    [ -f "$lnk" ] || problem="$problem; no Start-menu entry"
    # The installed window, started from that entry, then asked to close.
    wine start /unix "$lnk" </dev/null >/dev/null 2>&1
    if search_window 120; then
        info "installer: the installed window shown from the Start-menu entry"
        wine taskkill /im brimsel-tool.exe >/dev/null 2>&1
        i=0
        while [ $i -lt 60 ] && xdotool search --onlyvisible --name '^Brimsel tool$' >/dev/null 2>&1; do
            i=$((i + 1))
            sleep 0.5
        done
    else
        problem="$problem; no window from the Start-menu entry within 120 s"
    fi
    timeout 300 wine "$uninstall" /S </dev/null >/dev/null 2>&1 || problem="$problem; uninstall.exe /S: status $?"
    # It runs a copy of itself from the temporary folder, which goes on.
    i=0
    while [ $i -lt 120 ] && { [ -e "$dir" ] || [ -e "$lnk" ]; }; do
        i=$((i + 1))
        sleep 0.5
    done
    [ -e "$dir" ] && problem="$problem; Program Files\Brimsel tool left"
    [ -e "$lnk" ] && problem="$problem; the Start-menu entry left"
    wine reg query "$key" >/dev/null 2>&1 && problem="$problem; the uninstall entry left"
    info "installer: $(basename "$setup") /S took $took ms"
    result $name
else
    info "installer: none beside the zip, not checked"
fi

acc quit
wineserver -k
end
