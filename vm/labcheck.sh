# SPDX-License-Identifier: MIT
# What the two labs' scenarios share, sourced in the guest by vm/scenarios.sh
# (busybox sh) and windows/lab/scenarios.sh (trixie's sh): result lines, the
# virtual accessories' log, and the brimsel-ctl scenarios that must come out
# the same on Linux and under Wine. The caller sets FIFO and LOG and defines
# ctl ARGS..., which sets status, out and err.

pass() { echo "LAB RESULT PASS $1"; }
fail() { echo "LAB RESULT FAIL $1: $2"; }
info() { echo "LAB INFO $*"; }
acc() { echo "$*" >$FIFO; }
mark() { wc -c <$LOG; }
# result NAME: a pass, or a fail with what went wrong
result() { if [ -z "$problem" ]; then pass $1; else fail $1 "${problem#; }"; fi; }
# reports NAME MARK: the SET_REPORT bytes NAME received since MARK, one a line
reports() {
    tail -c +$(($2 + 1)) $LOG | grep " SET_REPORT $1 " | sed 's/.*data=\(.*\) answer=.*/\1/'
}
# expect_reports NAME MARK BYTES COUNT: exactly COUNT reports, all BYTES;
# prints what is wrong
expect_reports() {
    got=$(reports $1 $2 | tr '\n' '|')
    want=""
    n=0
    while [ $n -lt $4 ]; do
        want="$want$3|"
        n=$((n + 1))
    done
    [ "$got" = "$want" ] || echo "; $1 received [$got], expected $4 x [$3]"
}

# With none of the accessories plugged in.
ctl_list_none_scenario() {
    ctl --list
    if [ $status = 3 ] && [ "$err" = "brimsel-ctl: Device not found" ] && [ -z "$out" ]; then
        pass ctl-list-none
    else
        fail ctl-list-none "status $status, out [$out], err [$err]"
    fi
}

# With all three plugged in and answering: one colour for all; sets m, the
# mark before it.
ctl_color_all_scenario() {
    m=$(mark)
    ctl --color '#ff0080'
    problem=""
    [ $status = 0 ] || problem="status $status, err [$err]"
    for n in hb sq h; do problem="$problem$(expect_reports $n $m '02 ff 80 00' 2)"; done
    info "brimsel-ctl --color '#ff0080': each accessory received: $(reports hb $m | head -n 1) (twice)"
    tail -c +$((m + 1)) $LOG | grep ' SET_REPORT hb ' | head -n 1 | sed 's/^/LAB INFO   as logged: /'
    result ctl-color-all
}

# With all three plugged in and answering: a colour for two of them only,
# then the handbrake answering with an error.
ctl_device_and_error_scenarios() {
    m=$(mark)
    ctl --color 0,128,255 --device sq,h
    problem=""
    [ $status = 0 ] || problem="status $status, err [$err]"
    problem="$problem$(expect_reports sq $m '02 00 ff 80' 2)$(expect_reports h $m '02 00 ff 80' 2)"
    problem="$problem$(expect_reports hb $m '' 0)"
    result ctl-color-device

    acc "answer hb error"
    m=$(mark)
    ctl --color red --device handbrake
    problem=""
    [ $status = 1 ] || problem="status $status"
    printf '%s' "$err" | grep -q "Handbrake: write failed" || problem="$problem; err [$err]"
    problem="$problem$(expect_reports hb $m '02 ff 00 00' 2)"
    info "answered with an error: exit $status, \"$err\""
    result ctl-error-answer
    acc "answer hb ok"
}
