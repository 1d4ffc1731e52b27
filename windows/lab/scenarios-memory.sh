# SPDX-License-Identifier: MIT
# The Windows lab's shared-memory scenarios: each sim's named mappings made
# and written under Wine by sim-memory.exe, as the sim does, and read by
# brimsel-ctl.exe --telemetry: every stage at the SQ shifter (green, yellow,
# red, the blue flash) and, where the sim has a handbrake, red at the
# handbrake.
for sim in iracing ac pcars2 lmu rf2; do
    name=ctl-telemetry-memory-$sim
    case $sim in
    iracing) format="iRacing, shared memory" ;;
    ac) format="Assetto Corsa / Competizione, shared memory" ;;
    pcars2) format="Automobilista 2 / Project CARS 2, shared memory" ;;
    lmu) format="Le Mans Ultimate, shared memory" ;;
    rf2) format="rFactor 2 map plug-in, shared memory" ;;
    esac
    m=$(mark)
    t0=$(mono_ms)
    # A port of its own, so that no UDP game is listened for.
    wine $CTL --telemetry 20999 >/tmp/ctl.out 2>/tmp/ctl.err </dev/null &
    tpid=$!
    wine /tmp/lab/sim-memory.exe $sim 150 >/tmp/sim.log 2>&1 &
    spid=$!
    problem=""
    for bytes in '02 00 00 ff' '02 ff 00 ff' '02 ff 00 00' '02 00 ff 00'; do
        wait_report sq $m "$bytes" 90
    done
    case $sim in iracing | pcars2) wait_report hb $m '02 ff 00 00' 30 ;; esac
    took=$(($(mono_ms) - t0))
    stop_ctl $tpid
    kill $spid 2>/dev/null
    wait $spid 2>/dev/null
    printf '%s' "$err" | grep -q "telemetry: $format" || problem="$problem; err [$err] sim [$(tr -d '\r' </tmp/sim.log)]"
    info "--telemetry, $format stepped through the stages: every stage at the SQ shifter within $took ms;" \
        "SQ [$(reports sq $m | uniq | head -n 8 | tr '\n' '|')...], handbrake [$(reports hb $m | uniq | head -n 6 | tr '\n' '|')...], exit $tstatus after SIGTERM"
    result $name
done
