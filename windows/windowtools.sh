# SPDX-License-Identifier: MIT
# The window under Wine and an X server, as the checks see it: sourced by
# windows/check-wine.sh on the host and by the Windows lab's scenarios in its
# guest (POSIX sh). Needs xdotool, xwd, netpbm and tesseract, and DISPLAY;
# `wine` may be a command or a function. Scratch files go to $window_tmp, or /tmp.

mono_ms() { date +%s%3N; }

# status_text WINDOW: the status bar's text, read from the screen: Qt draws
# its widgets itself, so there is no control to ask.
status_text() {
    st_dir=${window_tmp:-/tmp}
    xwd -silent -id "$1" | xwdtopnm 2>/dev/null >"$st_dir/window.pnm" || return
    st_h=$(head -c 20 "$st_dir/window.pnm" | awk 'NR == 2 { print $2 }')
    pnmcut -top $((st_h - 28)) -width 300 "$st_dir/window.pnm" 2>/dev/null | ppmtopgm |
        pamscale 4 -filter=sinc >"$st_dir/status.pnm" 2>/dev/null
    tesseract "$st_dir/status.pnm" - --psm 7 2>/dev/null | tr -s ' \n' ' ' | sed 's/ $//'
}

# search_window SECONDS: waits that long at most for a window "Brimsel
# tool"; sets window, and fails if none showed. Asked again and again rather
# than with --sync: a search gives up on an X error when some other window
# goes away while it looks.
search_window() {
    sw_t0=$(mono_ms)
    window=""
    while [ -z "$window" ] && [ $(($(mono_ms) - sw_t0)) -lt $(($1 * 1000)) ]; do
        window=$(xdotool search --onlyvisible --name '^Brimsel tool$' 2>"${window_tmp:-/tmp}/xdotool.err" |
            head -n 1) || true
        [ -n "$window" ] || sleep 0.5
    done
    [ -n "$window" ]
}

# close_window PID: asks the window of the program started as PID to close
# and waits for it to end; sets t_gone (its window gone, ms after the
# request), t_ended (the process ended, ms after that), wstatus, and adds
# to problem when it outlives 60 s.
close_window() {
    cw_start=$(mono_ms)
    wine taskkill /im brimsel-tool.exe >/dev/null 2>&1 &
    cw_gone=""
    while kill -0 "$1" 2>/dev/null; do
        if [ -z "$cw_gone" ] && ! xdotool search --onlyvisible --name '^Brimsel tool$' >/dev/null 2>&1; then
            cw_gone=$(mono_ms)
        fi
        [ $(($(mono_ms) - cw_start)) -gt 60000 ] && break
        sleep 0.1
    done
    cw_ended=$(mono_ms)
    wstatus=0
    if kill -0 "$1" 2>/dev/null; then
        problem="$problem; still running 60 s after the close request"
        kill "$1"
    fi
    wait "$1" || wstatus=$?
    cw_gone=${cw_gone:-$cw_ended}
    t_gone=$((cw_gone - cw_start))
    t_ended=$((cw_ended - cw_gone))
}
