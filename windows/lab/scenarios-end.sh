# SPDX-License-Identifier: MIT
# The Windows lab's last scenarios: accessories that never answer, and the
# installer.

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
# Program Files, the uninstall entry, the Start-menu entry and the lights at
# login in the Startup folder, and the uninstaller leaves none of them.
name=installer
setup=$(echo /tmp/lab/brimsel-tool-*-setup.exe)
if [ -f "$setup" ]; then
    key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Brimsel tool'
    dir="$WINEPREFIX/drive_c/Program Files/Brimsel tool"
    lnk="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Brimsel tool.lnk"
    lights_lnk="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Brimsel lights.lnk"
    # The Startup folder, as Wine spells it ("StartUp").
    startup_lnk() { find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs" -maxdepth 2 -ipath '*/startup/brimsel lights.lnk' | head -n 1; }
    reg_value() {
        wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
            awk -v n="$1" '$1 == n { sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print }'
    }
    problem=""
    t0=$(mono_ms)
    timeout 300 wine "$setup" /S </dev/null >/dev/null 2>&1 || problem="; setup.exe /S: status $?"
    took=$(($(mono_ms) - t0))
    for exe in brimsel-tool.exe brimsel-ctl.exe brimsel-lights.exe uninstall.exe; do
        [ -f "$dir/$exe" ] || problem="$problem; no $exe in Program Files"
    done
    cmp -s "$TOOL" "$dir/brimsel-tool.exe" && cmp -s "$CTL" "$dir/brimsel-ctl.exe" ||
        problem="$problem; the installed programs differ from the zip's"
    [ "$(reg_value DisplayVersion)" = 2.0.0.0 ] || problem="$problem; DisplayVersion [$(reg_value DisplayVersion)]"
    uninstall=$(reg_value UninstallString | tr -d '"')
    [ "$uninstall" = 'C:\Program Files\Brimsel tool\uninstall.exe' ] || problem="$problem; UninstallString [$uninstall]"
    [ -f "$lnk" ] || problem="$problem; no Start-menu entry"
    [ -f "$lights_lnk" ] || problem="$problem; no Start-menu entry for the lights"
    login=$(startup_lnk)
    if [ -n "$login" ] && tr -c '[:print:]' '\n' <"$login" | grep -qxF 'C:\Program Files\Brimsel tool\brimsel-lights.exe'; then
        info "installer: the lights at login, Startup\\Brimsel lights.lnk, point at the installed brimsel-lights.exe"
    else
        problem="$problem; no Startup entry for brimsel-lights.exe [$(find "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu" -iname '*.lnk' | tr '\n' '|')]"
    fi
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
    # An upgrade over the running lights: the installer stops them, as they
    # hold the files it replaces. A second start while they run says so
    # and ends with 5.
    lights_log="$local_app/Brimsel tool/lights.log"
    start_lights() {
        rm -f "$lights_log"
        wine "$dir/brimsel-lights.exe" >/dev/null 2>&1 </dev/null &
        lpid=$!
        i=0
        while [ $i -lt 240 ] && ! grep -qs 'serving the OpenRGB SDK' "$lights_log"; do
            i=$((i + 1))
            sleep 0.5
        done
        grep -qs 'serving the OpenRGB SDK' "$lights_log" || problem="$problem; the installed lights did not serve: [$(tr -d '\r' <"$lights_log")]"
    }
    agent_runs() { grep -qsa 'brimsel-[l]ights\.exe' /proc/[0-9]*/cmdline; }
    start_lights
    timeout 120 wine "$dir/brimsel-lights.exe" </dev/null >/dev/null 2>&1 &
    spid=$!
    dismiss 'Brimsel lights' 60 || problem="$problem; a second start said nothing"
    wait $spid
    second=$?
    [ $second = 5 ] || problem="$problem; a second start: status $second"
    t0=$(mono_ms)
    timeout 300 wine "$setup" /S </dev/null >/dev/null 2>&1 || problem="$problem; the upgrade over the running lights: status $?"
    upgrade_ms=$(($(mono_ms) - t0))
    i=0
    while [ $i -lt 20 ] && { agent_runs || kill -0 $lpid 2>/dev/null; }; do
        i=$((i + 1))
        sleep 0.5
    done
    agent_runs && problem="$problem; the agent runs on after the upgrade"
    kill -0 $lpid 2>/dev/null && problem="$problem; the lights run on after the upgrade"
    wait $lpid 2>/dev/null
    cmp -s "$CTL" "$dir/brimsel-ctl.exe" && cmp -s "$DIST/brimsel-lights.exe" "$dir/brimsel-lights.exe" ||
        problem="$problem; the upgrade left other programs"
    info "installer: a second start beside the running lights ended with $second; the upgrade over the running lights took $upgrade_ms ms"
    # The uninstaller, too, meets the lights running.
    start_lights
    timeout 300 wine "$uninstall" /S </dev/null >/dev/null 2>&1 || problem="$problem; uninstall.exe /S: status $?"
    # It runs a copy of itself from the temporary folder, which goes on.
    i=0
    while [ $i -lt 120 ] && { [ -e "$dir" ] || [ -e "$lnk" ] || [ -n "$(startup_lnk)" ]; }; do
        i=$((i + 1))
        sleep 0.5
    done
    [ -e "$dir" ] && problem="$problem; Program Files\Brimsel tool left: [$(ls "$dir" | tr '\n' ' ')]"
    agent_runs && problem="$problem; the agent runs on after the uninstall"
    wait $lpid 2>/dev/null
    [ -e "$lnk" ] && problem="$problem; the Start-menu entry left"
    [ -e "$lights_lnk" ] && problem="$problem; the lights' Start-menu entry left"
    [ -n "$(startup_lnk)" ] && problem="$problem; the lights at login left"
    wine reg query "$key" >/dev/null 2>&1 && problem="$problem; the uninstall entry left"
    info "installer: $(basename "$setup") /S took $took ms"
    result $name
else
    info "installer: none beside the zip, not checked"
fi

