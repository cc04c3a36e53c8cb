#!/usr/bin/env bash
# The test wrapper must pass a program that ran to its end and fail every other run,
# whatever exit code Wine reports for it.
#   check-run-gtest.sh RUN_GTEST WINE_RUN CRASH_PROBE HARDENED(0|1)
set -uo pipefail
run_gtest=$1
wine_run=$2
probe=$3
hardened=$4
status=0

expect() {  # MODE WANTED_EXIT MESSAGE_PART
    local mode=$1 wanted=$2 part=$3 out code
    out=$(bash "$run_gtest" "$wine_run" "$probe" "--crash=$mode" 2>&1)
    code=$?
    if [[ $wanted == pass && $code != 0 ]] || [[ $wanted == fail && $code == 0 ]] || [[ $out != *"$part"* ]]; then
        echo "check-run-gtest: --crash=$mode: wanted $wanted with \"$part\", got exit $code:"
        echo "$out" | tail -n 5
        status=1
    else
        echo "check-run-gtest: --crash=$mode: $wanted ($(echo "$out" | grep -m1 'run-gtest:' || echo 'passed'))"
    fi
}

expect none pass "[  PASSED  ] 3 tests."
expect failure fail "reported 1 failed"
for mode in stack-overflow access-violation abort exit-zero terminate; do
    expect "$mode" fail "2 of 3 tests started, the last was CrashProbe.EndsAsTold"
done
# A program that never ends is ended as a test's time limit ends it (its whole process
# group killed); the run fails and leaves nothing running, here or in the emulated machine.
run32="$(dirname "$run_gtest")/../../tools/guest/run32"
probes_running() {
    # (the bracket keeps the search from finding itself)
    "$run32" bash -c 'grep -l -a -e "--crash=han[g]" /proc/[0-9]*/cmdline 2>/dev/null' | wc -l
}
expect_hang() {
    local out waited=0 code left
    out=$(mktemp)
    setsid bash "$run_gtest" "$wine_run" "$probe" --crash=hang >"$out" 2>&1 &
    local group=$!
    until grep -q 'RUN      \] CrashProbe.EndsAsTold' "$out"; do
        ((waited++ < 1200)) || break
        sleep 0.5
    done
    kill -TERM -- -"$group"
    wait "$group"
    code=$?
    for ((waited = 0; waited < 20; waited++)); do
        left=$(probes_running)
        ((left == 0)) && break
        sleep 0.5
    done
    if [[ $code == 0 ]] || ! grep -q 'RUN      \] CrashProbe.EndsAsTold' "$out" || ((left != 0)); then
        echo "check-run-gtest: --crash=hang: wanted a killed run that leaves nothing running, got exit $code" \
            "with $left programs of the probe left:"
        tail -n 5 "$out"
        status=1
    else
        echo "check-run-gtest: --crash=hang: fail (ended by its time limit, exit $code, nothing left running)"
    fi
    rm -f "$out"
}
expect_hang

if [[ $hardened == 1 ]]; then
    expect access-violation fail "an undefined-behaviour trap"  # a null store is undefined: it traps first
    expect signed-overflow fail "an undefined-behaviour trap"
    expect out-of-range fail "a failed standard-library assertion"
    expect heap-fault fail "Wine's heap checks found a heap fault"
else
    expect stack-overflow fail "a stack overflow"
    expect access-violation fail "an access violation"
    # Without the hardened build's checks these go unseen: the reason it exists.
    for mode in signed-overflow out-of-range heap-fault; do expect "$mode" pass "[  PASSED  ] 3 tests."; done
fi
exit $status
