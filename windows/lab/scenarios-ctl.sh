# SPDX-License-Identifier: MIT
# The Windows lab's brimsel-ctl.exe scenarios, from no accessory to all three:
# --list, --color, --stream and --telemetry.

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

t0=$(log_ms)
ctl_color_all_scenario
first=$(first_report_ms hb $m)
info "brimsel-ctl.exe --color: run to the handbrake's first report: $((${first:-0} - t0)) ms, whole run $took ms"

ctl_device_and_error_scenarios

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
stop_ctl $tpid
printf '%s' "$err" | grep -q "telemetry: Forza" || problem="$problem; err [$err]"
info "--telemetry, a Forza dash packet at 95 % with the handbrake pulled: handbrake [$(reports hb $m | tr '\n' '|')]," \
    "SQ [$(reports sq $m | tr '\n' '|')], H [$(reports h $m | tr '\n' '|')]; start to the first red: $([ -n "$first" ] && echo $((first - t_started)) ms || echo none);" \
    "exit $tstatus after SIGTERM"
printf '%s\n' "$err" | sed 's/^/LAB INFO   /'
if [ -z "$problem" ]; then pass $name; else fail $name "${problem#; }"; fi


# F1 24 with no port given: every default port; its rev lights all lit are
# its shift signal, so the shifters flash blue (the handbrake too: F1 has
# none, so it shows the rev light).
name=ctl-telemetry-f1
m=$(mark)
wine $CTL --telemetry >/tmp/ctl.out 2>/tmp/ctl.err </dev/null &
tpid=$!
bash -c 'while :; do
    cat /tmp/lab/f1-status.bin >/dev/udp/127.0.0.1/20777
    cat /tmp/lab/f1-telemetry.bin >/dev/udp/127.0.0.1/20777
    sleep 0.1
done 2>/dev/null' &
spid=$!
problem=""
for n in hb sq h; do wait_report $n $m '02 00 ff 00' 90; done
kill $spid
stop_ctl $tpid
printf '%s' "$err" | grep -q "telemetry: F1, UDP format 2024" || problem="$problem; err [$err]"
printf '%s' "$err" | grep -q "listening for telemetry on 127.0.0.1:20777, 127.0.0.1:5606, 127.0.0.1:6776, 127.0.0.1:4444" ||
    problem="$problem; not every default port: [$err]"
info "--telemetry, F1 24 with its rev lights full: SQ [$(reports sq $m | head -n 4 | tr '\n' '|')...], exit $tstatus after SIGTERM"
result $name

# Gran Turismo 7 on a stand-in console on the loopback: the heartbeat out,
# the captured packet back, decrypted under Wine (7974 of 9000 RPM: the
# shifters' yellow stage; the handbrake not pulled).
name=ctl-telemetry-gt7
m=$(mark)
gt7-console /tmp/lab/gt7-296.bin >/tmp/gt7.log 2>&1 &
cpid=$!
wine $CTL --telemetry 20999 --gt7 127.0.0.1 >/tmp/ctl.out 2>/tmp/ctl.err </dev/null &
tpid=$!
problem=""
for n in sq h; do wait_report $n $m '02 ff 00 ff' 90; done
stop_ctl $tpid
kill $cpid
printf '%s' "$err" | grep -q "telemetry: Gran Turismo 7 (296 bytes)" || problem="$problem; err [$err]"
info "--telemetry --gt7, the captured packet: SQ [$(reports sq $m | head -n 4 | tr '\n' '|')], handbrake [$(reports hb $m | head -n 2 | tr '\n' '|')], exit $tstatus after SIGTERM"
result $name

# The lights at login: brimsel-lights.exe serves the OpenRGB SDK and hears
# the games; the kept colours go out at its start, and --color goes through
# the agent, which keeps it.
name=ctl-openrgb-lights
local_app=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Local | grep -v /Public/ | head -n 1)
mkdir -p "$local_app/Brimsel tool"
printf 'sq #ff0080\n' >"$local_app/Brimsel tool/colors"
rm -f "$local_app/Brimsel tool/lights.log"
m=$(mark)
wine $DIST/brimsel-lights.exe >/dev/null 2>&1 </dev/null &
lpid=$!
problem=""
wait_report sq $m '02 ff 80 00' 90
i=0
while [ $i -lt 120 ] && ! grep -q 'serving the OpenRGB SDK' "$local_app/Brimsel tool/lights.log" 2>/dev/null; do
    i=$((i + 1))
    sleep 0.5
done
grep -q 'serving the OpenRGB SDK on 127.0.0.1:6742' "$local_app/Brimsel tool/lights.log" ||
    problem="$problem; lights.log [$(tr -d '\r' <"$local_app/Brimsel tool/lights.log" 2>/dev/null)]"
m2=$(mark)
ctl --color '#00ff00' --device h
[ $status = 0 ] && [ "$out" = "H Shifter: #00ff00" ] || problem="$problem; --color: status $status [$out] [$err]"
wait_report h $m2 '02 00 00 ff' 60
wait_kept 'h #00ff00'
wine taskkill /f /im brimsel-lights.exe >/dev/null 2>&1
wait $lpid 2>/dev/null
info "--openrgb through brimsel-lights.exe: SQ [$(reports sq $m | head -n 4 | tr '\n' '|')], H by --color [$(reports h $m2 | head -n 2 | tr '\n' '|')], kept [$(tr '\n' ' ' <"$local_app/Brimsel tool/colors")]"
result $name

# One agent per user: a second one says which runs and ends with 5; the
# first start writes nothing to an accessory with no kept colour; --color
# with and without an agent, timed (a refused connection costs Windows about
# a second, so with none it must not look).
name=ctl-one-agent
printf 'sq #102030\n' >"$local_app/Brimsel tool/colors"
problem=""
ctl --color '#000000' --device h
no_agent_ms=$took
[ $status = 0 ] || problem="$problem; --color with no agent: status $status [$err]"
m=$(mark)
wine $CTL --openrgb >/tmp/agent.out 2>/tmp/agent.err </dev/null &
apid=$!
wait_report sq $m '02 10 30 20' 90
ctl --openrgb
second="$err"
[ $status = 5 ] && printf '%s' "$second" | grep -q 'an agent runs already (process [0-9]*, the OpenRGB SDK on 127.0.0.1:6742)' ||
    problem="$problem; second agent: status $status [$second]"
ctl --color '#00ff00' --device h
agent_ms=$took
[ $status = 0 ] || problem="$problem; --color through the agent: status $status [$out] [$err]"
stop_ctl $apid
[ -z "$(reports hb $m)" ] || problem="$problem; the handbrake, with nothing kept, was written [$(reports hb $m | tr '\n' '|')]"
info "one agent: a second --openrgb [$second], exit 5; --color --device h took $no_agent_ms ms with no agent (a direct write), $agent_ms ms through the agent; handbrake untouched at the start"
result $name
