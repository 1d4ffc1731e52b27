# SPDX-License-Identifier: MIT
# The Windows lab's shared-memory scenarios: each sim's named mappings made
# and written under Wine by sim-memory.exe, as the sim does, and read by
# brimsel-ctl.exe --telemetry: every stage at the SQ shifter (green, yellow,
# red, the blue flash) and, where the sim has a handbrake, red at the
# handbrake; the yellow flag at the handbrake and the pit limiter at the
# shifters, as the default profile shows them.
for sim in iracing ac pcars2 lmu rf2 raceroom acevo; do
    name=ctl-telemetry-memory-$sim
    case $sim in
    iracing) format="iRacing, shared memory" ;;
    ac) format="Assetto Corsa / Competizione, shared memory" ;;
    pcars2) format="Automobilista 2 / Project CARS 2, shared memory" ;;
    lmu) format="Le Mans Ultimate, shared memory" ;;
    rf2) format="rFactor 2 map plug-in, shared memory" ;;
    raceroom) format="RaceRoom, shared memory" ;;
    acevo) format="Assetto Corsa EVO, shared memory" ;;
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
    case $sim in iracing | pcars2 | acevo) wait_report hb $m '02 ff 00 00' 30 ;; esac
    # The flag (amber; rFactor 2's full-course yellow blinks, lit first) and
    # the limiter (orange and dark, 4 Hz) on both shifters.
    wait_report hb $m '02 ff 00 bf' 30
    wait_report sq $m '02 ff 00 80' 30
    wait_report h $m '02 ff 00 80' 30
    took=$(($(mono_ms) - t0))
    stop_ctl $tpid
    kill $spid 2>/dev/null
    wait $spid 2>/dev/null
    printf '%s' "$err" | grep -q "telemetry: $format" || problem="$problem; err [$err] sim [$(tr -d '\r' </tmp/sim.log)]"
    info "--telemetry, $format stepped through the stages, a yellow flag and the pit limiter: every stage at the SQ shifter, the flag at the handbrake and the limiter at both shifters within $took ms;" \
        "SQ [$(reports sq $m | uniq | head -n 8 | tr '\n' '|')...], handbrake [$(reports hb $m | uniq | head -n 6 | tr '\n' '|')...], exit $tstatus after SIGTERM"
    result $name
done
