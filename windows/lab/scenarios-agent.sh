# SPDX-License-Identifier: MIT
# The Windows lab's scenarios of the agent under faults: a save that fails,
# and brimsel-lights.exe's care of brimsel-ctl.exe (a crash, another agent,
# a missing program). Sourced after scenarios-ctl.sh, which sets local_app.

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

# brimsel-lights.exe with a stand-in brimsel-ctl.exe beside it: a crash
# (0xC0000005) is followed by a new start 10 s later; status 5 (another agent
# runs) ends it with 5; no brimsel-ctl.exe at all is written to the log.
name=lights-supervisor
problem=""
starts_n() { if [ -f /tmp/starts ]; then grep -c . /tmp/starts; else echo 0; fi; }
sup=/tmp/sup
rm -rf $sup /tmp/starts
mkdir -p $sup
cp $DIST/brimsel-lights.exe $sup/
cp /tmp/lab/crashing-ctl.exe $sup/brimsel-ctl.exe
t0=$(mono_ms)
LAB_STARTS='Z:\tmp\starts' LAB_STATUS=0xC0000005 wine $sup/brimsel-lights.exe >/dev/null 2>&1 </dev/null &
lpid=$!
i=0
while [ $i -lt 120 ] && [ "$(starts_n)" -lt 2 ]; do
    i=$((i + 1))
    sleep 0.5
done
crash_ms=$(($(mono_ms) - t0))
starts=$(starts_n)
kill -0 $lpid 2>/dev/null && running=yes || running=no
wine taskkill /f /im brimsel-lights.exe >/dev/null 2>&1
wait $lpid 2>/dev/null
[ "${starts:-0}" -ge 2 ] && [ $running = yes ] || problem="$problem; after a crash: $starts start(s), launcher running: $running"
tr -d '\r' </tmp/starts | grep -qx 'start --openrgb --telemetry' || problem="$problem; started as [$(head -n 1 /tmp/starts)]"
rm -f /tmp/starts
LAB_STARTS='Z:\tmp\starts' LAB_STATUS=5 timeout 120 wine $sup/brimsel-lights.exe >/dev/null 2>&1 </dev/null
lstatus=$?
[ $lstatus = 5 ] && [ "$(starts_n)" = 1 ] ||
    problem="$problem; another agent: launcher status $lstatus after $(starts_n) start(s)"
rm -f $sup/brimsel-ctl.exe "$local_app/Brimsel tool/lights.log"
timeout 120 wine $sup/brimsel-lights.exe >/dev/null 2>&1 </dev/null
nstatus=$?
logged=$(tr -d '\r' <"$local_app/Brimsel tool/lights.log" 2>/dev/null)
printf '%s' "$logged" | grep -q 'cannot start brimsel-ctl.exe: error 2' || problem="$problem; lights.log [$logged]"
info "brimsel-lights.exe: $starts starts within $crash_ms ms of crashes (0xC0000005); status $lstatus when another agent runs; status $nstatus and [$logged] with no brimsel-ctl.exe"
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
