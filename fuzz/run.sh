#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs each libFuzzer target built in BUILD_DIR (./build.sh fuzz builds
# them) for FUZZ_SECONDS (default 30) from its seeds in fuzz/corpus,
# FUZZ_JOBS (default: the cores) at a time.
# Exits non-zero if any target crashes, leaks past its checks or hangs; the
# input is kept in a scratch folder that the output names.
#
#   fuzz/run.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-30}
# As many targets at once as there are cores; their reports in order.
jobs=${FUZZ_JOBS:-$(nproc 2>/dev/null || echo 2)}
failed=0
names=()
works=()
# fuzz_one TARGET WORK: one target's run; its status in WORK/status.
fuzz_one() {
    # New inputs go to a scratch folder; the seeds in the repo stay as they are.
    # Leaks are the sanitizer test build's job; the targets keep their
    # widgets for the whole run on purpose.
    # An input that hangs is a finding (-timeout); the outer timeout ends
    # a target that wedges outside any input, so CI cannot sit on it.
    local status=0
    ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen timeout -k 10 $((seconds + 120)) "$1" \
        -max_total_time="$seconds" -timeout=20 -detect_leaks=0 \
        -print_final_stats=1 -artifact_prefix="$2/" "$2" "fuzz/corpus/$(basename "$1")" >"$2/log" 2>&1 ||
        status=$?
    echo $status >"$2/status"
}
for f in "$1"/fuzz/fuzz_*; do
    [ -f "$f" ] && [ -x "$f" ] || continue
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do
        wait -n || true
    done
    work=$(mktemp -d)
    names+=("$(basename "$f")")
    works+=("$work")
    fuzz_one "$f" "$work" &
done
wait
for i in "${!names[@]}"; do
    name=${names[$i]}
    work=${works[$i]}
    echo "== $name"
    if [ "$(cat "$work/status" 2>/dev/null)" = 0 ]; then
        grep -E '^(Done|stat::number_of_executed_units)' "$work/log" || true
    else
        failed=1
        tail -n 60 "$work/log"
        echo "$name FAILED; crashing input kept in $work"
    fi
done
exit $failed
