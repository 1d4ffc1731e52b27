# SPDX-License-Identifier: MIT
# Sourced on the host by vm/lab.sh and windows/lab/lab.sh, which define die.

# lab_results GUESTLOG QEMU_STATUS [count]: prints the guest's figures and
# result lines; with "count" also "N passed, N failed", where a run without
# any result fails too. Fails on any failed scenario, on a fatal error and
# when the guest did not boot or finish.
lab_results() {
    local log=$1 status=$2 passed failed
    grep -q '^LAB BOOTED' "$log" || {
        tail -n 30 "$log" >&2
        die "the guest did not boot (qemu status $status)"
    }
    sed -n 's/^LAB BOOTED /guest: booted /p; s/^LAB FATAL /FATAL: /p; s/^LAB INFO /  /p' "$log"
    passed=$(grep -c '^LAB RESULT PASS ' "$log" || true)
    failed=$(grep -c '^LAB RESULT FAIL ' "$log" || true)
    sed -n 's/^LAB RESULT //p' "$log"
    if ! grep -q '^LAB END' "$log"; then
        tail -n 30 "$log" >&2
        echo "FAIL guest: did not finish (qemu status $status)"
        failed=$((failed + 1))
    fi
    if grep -q '^LAB FATAL' "$log"; then
        failed=$((failed + 1))
    fi
    if [ "${3:-}" = count ]; then
        [ "$passed" -gt 0 ] || failed=$((failed + 1))
        echo "$passed passed, $failed failed"
    fi
    [ "$failed" -eq 0 ]
}
