# SPDX-License-Identifier: MIT
# The Windows lab's scenarios of the agent under faults: a save that fails,
# and brimsel-lights.exe in the tray (its icon, the Lights window, another
# agent). Sourced after scenarios-ctl.sh, which sets local_app.

# agent_says TEXT SECONDS: until the agent's /tmp/agent.err holds TEXT
agent_says() {
    i=0
    while [ $i -lt $(($2 * 2)) ] && ! tr -d '\r' </tmp/agent.err | grep -q "$1"; do
        i=$((i + 1))
        sleep 0.5
    done
    tr -d '\r' </tmp/agent.err | grep -q "$1"
}

# A line the agent does not know costs no other; a save that fails is said
# once, tried again until it goes through, and the colour then reaches the
# file.
name=agent-save-retry
problem=""
colors="$local_app/Brimsel tool/colors"
printf 'sq #102030\nwheel #ffffff\n' >"$colors"
m=$(mark)
wine $CTL --openrgb >/tmp/agent.out 2>/tmp/agent.err </dev/null &
apid=$!
wait_report sq $m '02 10 30 20' 90
agent_says 'serving the OpenRGB SDK' 60 || problem="$problem; the agent did not serve"
# A folder where the file goes: every save fails until it is gone.
rm -f "$colors"
mkdir "$colors"
ctl --color '#00ff00' --device h
[ $status = 0 ] || problem="$problem; --color through the agent: status $status [$out] [$err]"
agent_says 'cannot keep the colours' 20 || problem="$problem; the failed save not said"
sleep 7 # two more tries, 3 s apart
said=$(tr -d '\r' </tmp/agent.err | grep -c 'cannot keep the colours')
[ "$said" = 1 ] || problem="$problem; the failure said $said times"
rmdir "$colors"
t0=$(mono_ms)
i=0
while [ $i -lt 20 ] && ! grep -qs '^h #00ff00' "$colors"; do
    i=$((i + 1))
    sleep 0.5
done
saved_ms=$(($(mono_ms) - t0))
grep -qs '^h #00ff00' "$colors" && grep -qs '^sq #102030' "$colors" ||
    problem="$problem; the file holds [$(tr '\n' '|' <"$colors" 2>/dev/null)]"
agent_says 'kept in .* again' 5 || problem="$problem; the recovery not said"
kill -TERM $apid 2>/dev/null
wait $apid
info "save retry: failure said $said time(s) over 3 tries; the file written ${saved_ms} ms after the folder went: [$(tr '\n' ' ' <"$colors")]"
tr -d '\r' </tmp/agent.err | grep 'colours' | sed 's/^/LAB INFO   /'
result $name

# brimsel-lights.exe in Wine's system tray (trayer is the lab's tray host):
# its icon is taken in, a click on it opens the Lights window, a colour typed
# there reaches the handbrake and is kept; its menu's "Start at login" makes
# and removes the Startup shortcut; a second start while it runs says so and
# ends with 5.
name=lights-tray
problem=""
lights_log="$local_app/Brimsel tool/lights.log"
rm -f "$lights_log" "$local_app/Brimsel tool/colors"
empty=$(tray_colors)
t0=$(mono_ms)
wine $DIST/brimsel-lights.exe >/dev/null 2>&1 </dev/null &
lpid=$!
i=0
while [ $i -lt 240 ] && [ "$(tray_colors)" -le $((empty + 8)) ]; do
    i=$((i + 1))
    sleep 0.25
done
icon_ms=$(($(mono_ms) - t0))
shown=$(tray_colors)
[ "$shown" -gt $((empty + 8)) ] || problem="$problem; no icon in the tray: $shown colours there, $empty before"
i=0
while [ $i -lt 120 ] && ! grep -qs 'serving the OpenRGB SDK' "$lights_log"; do
    i=$((i + 1))
    sleep 0.5
done
grep -qs 'serving the OpenRGB SDK on 127.0.0.1:6742' "$lights_log" || problem="$problem; lights.log [$(tr -d '\r' <"$lights_log")]"
# The icon sits at the tray's right end.
xdotool mousemove 1012 16 click 1
lights_window=""
i=0
while [ -z "$lights_window" ] && [ $i -lt 60 ]; do
    lights_window=$(xdotool search --onlyvisible --name '^Brimsel lights$' 2>/dev/null | head -n 1) || true
    i=$((i + 1))
    [ -n "$lights_window" ] || sleep 0.5
done
if [ -n "$lights_window" ]; then
    m=$(mark)
    eval "$(xdotool getwindowgeometry --shell $lights_window)"
    xdotool mousemove --window $lights_window $LIGHTS_HTML_X $((HEIGHT - LIGHTS_HTML_FROM_BOTTOM)) click 1
    xdotool key ctrl+a
    xdotool type --delay 50 '#ff8000'
    xdotool key Return
    wait_report hb $m '02 ff 00 80' 30
    wait_kept 'handbrake #ff8000'
else
    problem="$problem; no Lights window after a click on the icon"
fi
# "Start at login" in the icon's menu (the right button; the menu opens at
# the screen's top right): the user's own Startup shortcut to this program,
# and at the next click none.
# (Wine spells the folder StartUp.)
login_lnk() { find "$(dirname "$local_app")/Roaming/Microsoft/Windows/Start Menu" -ipath '*/startup/brimsel lights.lnk' 2>/dev/null | head -n 1; }
login_state() { if [ -n "$(login_lnk)" ]; then echo on; else echo off; fi; }
# The menu's lower lines, where it shows: the bare screen there is one
# colour (a tooltip ends above it).
menu_shown() {
    [ "$(xwd -silent -root | xwdtopnm 2>/dev/null | pnmcut -left 760 -top 95 -width 250 -height 110 2>/dev/null |
        ppmhist -noheader 2>/dev/null | grep -c .)" -gt 1 ]
}
toggle_login() {
    # A right click soon after the menu closed may only show the tooltip.
    t=0
    while [ $t -lt 5 ]; do
        t=$((t + 1))
        xdotool mousemove 1012 16 click 3
        sleep 2
        menu_shown && break
        xdotool mousemove 500 740 click 1
        sleep 1
    done
    xdotool mousemove 900 172 click 1
    i=0
    while [ $i -lt 40 ] && [ "$(login_state)" != $1 ]; do
        i=$((i + 1))
        sleep 0.5
    done
}
login=""
toggle_login on
if [ -n "$(login_lnk)" ] && tr -c '[:print:]' '\n' <"$(login_lnk)" | grep -qi 'brimsel-lights\.exe'; then
    login=made
else
    problem="$problem; no Startup shortcut to brimsel-lights.exe after \"Start at login\""
fi
toggle_login off
[ -n "$(login_lnk)" ] && problem="$problem; the Startup shortcut stayed after \"Start at login\" again" || login="$login and removed"
timeout 120 wine $DIST/brimsel-lights.exe >/dev/null 2>&1 </dev/null &
spid=$!
dismiss 'Brimsel lights' 60 "$lights_window" || problem="$problem; the second start said nothing"
wait $spid
second=$?
[ $second = 5 ] || problem="$problem; a second start: status $second"
wine taskkill /f /im brimsel-lights.exe >/dev/null 2>&1
wait $lpid 2>/dev/null
info "brimsel-lights.exe: icon in the tray $icon_ms ms after the start ($shown colours in the tray's corner, $empty before); handbrake [$(reports hb ${m:-0} | head -n 3 | tr '\n' '|')]; kept [$(tr '\n' ' ' <"$local_app/Brimsel tool/colors" 2>/dev/null)]; Startup shortcut ${login:-not made}; a second start ended with $second"
result $name

# The lights profile in %APPDATA%\Brimsel tool: read at the start, followed
# as it is edited, a broken one said once with its place.
name=ctl-profile
problem=""
roaming=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | grep -v /Public/ | head -n 1)
mkdir -p "$roaming/Brimsel tool"
profile="$roaming/Brimsel tool/lights.toml"
printf '[games."Forza"]\nrev.stages = [ { from = 90, color = "#00ffff" } ]\naccessories.handbrake.show = ["rev"]\n' >"$profile"
m=$(mark)
wine $CTL --telemetry 127.0.0.1:20777 >/tmp/ctl.out 2>/tmp/agent.err </dev/null &
tpid=$!
bash -c 'while :; do cat /tmp/forza.bin >/dev/udp/127.0.0.1/20777 2>/dev/null; sleep 0.1; done' &
spid=$!
for n in hb sq h; do wait_last $n $m '02 00 ff ff' 90 || problem="$problem; $n received [$got]"; done
m2=$(mark)
t0=$(mono_ms)
printf '[games."Forza"]\nrev.stages = [ { from = 90, color = "#ff00ff" } ]\naccessories.handbrake.show = ["rev"]\n' >"$profile"
wait_last sq $m2 '02 ff ff 00' 30 || problem="$problem; after the edit sq received [$got]"
edit_ms=$(($(mono_ms) - t0))
printf '[games."Forza"]\nrev.stages = [ { from = 90, color = "#ff00ff" }\n' >"$profile"
sleep 3
kill $spid
stop_ctl $tpid
err=$(tr -d '\r' </tmp/agent.err | grep -v '^[0-9a-f]*:\(err\|fixme\|warn\):')
said=$(printf '%s\n' "$err" | grep -c 'lights.toml:2:[0-9]*: ')
[ "$said" = 1 ] || problem="$problem; the broken file said $said times"
printf '%s' "$err" | grep -q '"Forza" in a profile' || problem="$problem; the game not named [$err]"
[ "$(reports sq $m2 | tail -n 1)" = '02 ff ff 00' ] || problem="$problem; the broken file changed the lights"
rm -f "$profile"
info "profile in %APPDATA%: the edit shown $edit_ms ms after it was written"
printf '%s\n' "$err" | grep 'profile' | sed 's/^/LAB INFO   /'
result $name
