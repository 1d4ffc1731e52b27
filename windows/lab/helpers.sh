# SPDX-License-Identifier: MIT
# The Windows lab's helpers, sourced in its guest by scenarios.sh after
# vm/labcheck.sh and windows/windowtools.sh: the environment, brimsel-ctl.exe
# under Wine, the accessories' clock, the window's places, and the start of
# the guest's services and of Wine (lab_start).
export PATH=/usr/sbin:/usr/bin:/sbin:/bin:/tmp/lab
export HOME=/tmp/home WINEPREFIX=/prefix WINEDEBUG=-all DISPLAY=:0 LANG=C.UTF-8
FIFO=/run/lab/accessories.ctl
LOG=/run/lab/accessories.log
DIST=$(echo /tmp/brimsel-tool-*)
CTL=$DIST/brimsel-ctl.exe
TOOL=$DIST/brimsel-tool.exe
TAB=$(printf '\t')
mkdir -p $HOME /run/lab

end() {
    echo "LAB END"
    sync
    /tmp/lab/busybox poweroff -f
}
fatal() {
    echo "LAB FATAL $*"
    end
}
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
# wait_kept LINE: until the agent's kept colours hold LINE ("h #00ff00"),
# 20 s at most; adds to problem if they do not
wait_kept() {
    i=0
    while [ $i -lt 40 ] && ! grep -qs "^$1" "$local_app/Brimsel tool/colors"; do
        i=$((i + 1))
        sleep 0.5
    done
    grep -qs "^$1" "$local_app/Brimsel tool/colors" ||
        problem="$problem; not kept: [$(cat "$local_app/Brimsel tool/colors" 2>/dev/null)]"
}
# wait_report NAME MARK BYTES SECONDS: until NAME has received BYTES since
# MARK; adds to problem if it has not within SECONDS
wait_report() {
    wr_t0=$(mono_ms)
    while ! reports $1 $2 | grep -q "^$3\$"; do
        if [ $(($(mono_ms) - wr_t0)) -gt $(($4 * 1000)) ]; then
            problem="$problem; $1 received [$(reports $1 $2 | tr '\n' '|')]"
            return 1
        fi
        sleep 0.5
    done
}

# stop_ctl PID: ends a brimsel-ctl.exe started in the background as PID with
# SIGTERM, waiting 10 s at most; sets tstatus and err, and adds to problem
# when it outlives them
stop_ctl() {
    kill -TERM $1 2>/dev/null
    i=0
    while kill -0 $1 2>/dev/null && [ $i -lt 100 ]; do
        i=$((i + 1))
        sleep 0.1
    done
    kill -0 $1 2>/dev/null && problem="$problem; still running 10 s after SIGTERM" && kill -KILL $1
    wait $1
    tstatus=$?
    err=$(tr -d '\r' </tmp/ctl.err | grep -v '^[0-9a-f]*:\(err\|fixme\|warn\):')
}

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

# wait_status TEXT SECONDS: until the status bar reads TEXT; sets text, waited (ms)
wait_status() {
    t0=$(mono_ms)
    while :; do
        text=$(status_text $window)
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
# The Lights window's HTML field, from its left and from its bottom: the
# lines above it may wrap.
LIGHTS_HTML_X=205
LIGHTS_HTML_FROM_BOTTOM=44
# set_html COLOUR: types COLOUR into the HTML field; sets t_typed (accessory clock)
set_html() {
    click 300 333
    xdotool key ctrl+a
    t_typed=$(log_ms)
    xdotool type --delay 50 "$1"
    xdotool key Return
}

# tray_colors: how many colours the tray's corner of the screen shows; an
# icon taken in brings many.
tray_colors() {
    xwd -silent -root | xwdtopnm 2>/dev/null | pnmcut -left 864 -top 0 -width 160 -height 32 2>/dev/null |
        ppmhist -noheader 2>/dev/null | grep -c .
}
# dismiss NAME SECONDS [OTHER]: waits for a window NAME (a message box) that
# is not the window OTHER, and presses Return in it; false if none showed
dismiss() {
    d_t0=$(mono_ms)
    while [ $(($(mono_ms) - d_t0)) -lt $(($2 * 1000)) ]; do
        d_window=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | grep -vx "${3:-none}" | head -n 1) || true
        if [ -n "$d_window" ]; then
            # A click on its text gives it the focus (there is no window
            # manager); Return presses its default button.
            eval "$(xdotool getwindowgeometry --shell $d_window)"
            xdotool mousemove --window $d_window $((WIDTH / 2)) $((HEIGHT / 3)) click 1
            sleep 0.5
            xdotool key Return
            return 0
        fi
        sleep 0.5
    done
    return 1
}

# find_window WHEN: waits up to 180 s for the window of the program started
# as $wpid.
find_window() {
    search_window 180 || fatal "no window \"Brimsel tool\" $1 within 180 s" \
        "(program $(kill -0 $wpid 2>/dev/null && echo running || echo ended)):" \
        "$(tail -n 5 /tmp/window.err) $(tail -n 2 /tmp/xdotool.err)"
}


# lab_start: udevd, the accessories, Xvfb and Wine's first start.
lab_start() {
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
    # A system tray for the lights' icon, at the screen's top right corner.
    trayer --edge top --align right --widthtype pixel --width 160 --height 32 \
        --transparent false --tint 0x808080 >/tmp/trayer.log 2>&1 &
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
}
