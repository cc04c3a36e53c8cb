#!/usr/bin/env bash
# Runs one GoogleTest program under Wine and passes only when it ran to its end and
# reported its results. Under Wine a program that dies part-way (a stack overflow in
# patched code, an access violation, an abort, an exit from inside a test) can still end
# with exit code 0, so the exit code alone proves nothing. GoogleTest creates the file
# named by TEST_PREMATURE_EXIT_FILE when it starts and deletes it when it has finished,
# and writes its XML report only at the very end: both must show a finished run.
#
#   run-gtest.sh WINE_RUN|--native PROGRAM [ARGUMENTS...]
# (--native: a Linux program of the native build, run directly, or in the emulated machine
# where ./run chose it; its sanitizers' reports fail the run too.)
set -uo pipefail

wine_run=$1
program=$2
shift 2
name=$(basename "$program")

work=$(mktemp -d "${TMPDIR:-/tmp}/run-gtest.XXXXXX")
trap 'rm -rf "$work"' EXIT
premature="$work/premature-exit"
report="$work/report.xml"
output="$work/output"

# Windows programs see the Linux file system on drive Z:.
winpath() { local path; path=$(realpath -m "$1"); printf 'Z:%s' "${path//\//\\}"; }

if [[ $wine_run == --native ]]; then
    TEST_PREMATURE_EXIT_FILE=$premature "$(dirname "$0")/../../tools/guest/run32" "$program" --gtest_output="xml:$report" "$@" 2>&1 | tee "$output"
else
    TEST_PREMATURE_EXIT_FILE=$(winpath "$premature") \
        "$wine_run" "$program" --gtest_output="xml:$(winpath "$report")" "$@" 2>&1 | tee "$output"
fi
code=${PIPESTATUS[0]}

started=$(grep -c '^\[ RUN      \]' "$output")
total=$(sed -n 's/^\[==========\] Running \([0-9]*\) tests\{0,1\} .*/\1/p' "$output" | head -n 1)
last=$(grep '^\[ RUN      \]' "$output" | tail -n 1 | sed 's/^\[ RUN      \] //')

fail() {
    echo "run-gtest: FAILED: $name $*" >&2
    exit 1
}

# What Wine or the runtime said about how the program died, when it said anything.
cause() {
    if grep -q 'Unhandled illegal instruction' "$output"; then
        echo "an undefined-behaviour trap or a failed stack-protector check (illegal instruction)"
    elif grep -q "Assertion '.*' failed" "$output"; then
        echo "a failed standard-library assertion: $(grep -m1 "Assertion '.*' failed" "$output")"
    elif grep -q 'Unhandled stack overflow' "$output"; then
        echo "a stack overflow"
    elif grep -q 'Unhandled page fault' "$output"; then
        echo "an access violation: $(grep -m1 'Unhandled page fault' "$output")"
    elif grep -qE '^SUMMARY: (Address|Undefined|Leak)Sanitizer|^==[0-9]+==ERROR' "$output"; then
        echo "a sanitizer report: $(grep -m1 -E '^SUMMARY: |==[0-9]+==ERROR' "$output")"
    else
        echo "a crash, a stack overflow, an abort or an early exit"
    fi
}

if [[ -e $premature || ! -s $report ]]; then
    fail "stopped before its end (exit code $code): ${started} of ${total:-?} tests started${last:+, the last was $last};" \
        "$(cause)"
fi
# Under the hardened build Wine checks the heaps; what it finds is a failure even when the
# program went on (a bad free only fails quietly there).
if grep -qE '^SUMMARY: (Address|Undefined|Leak)Sanitizer|: runtime error: ' "$output"; then
    fail "ran, but a sanitizer reported: $(grep -m1 -E '^SUMMARY: |: runtime error: ' "$output")"
fi
if grep -q 'err:heap' "$output"; then
    fail "ran, but Wine's heap checks found a heap fault: $(grep -m1 'err:heap' "$output")"
fi
if ! grep -q '<testsuites ' "$report"; then
    fail "wrote no test report (exit code $code)"
fi
failures=$(sed -n 's/.*<testsuites [^>]*failures="\([0-9]*\)".*/\1/p' "$report" | head -n 1)
errors=$(sed -n 's/.*<testsuites [^>]*errors="\([0-9]*\)".*/\1/p' "$report" | head -n 1)
if [[ ${failures:-1} != 0 || ${errors:-1} != 0 ]]; then
    fail "reported ${failures:-?} failed and ${errors:-?} erroneous tests (exit code $code)"
fi
if [[ $code != 0 ]]; then
    fail "ran to its end with all tests passed, yet exited with code $code"
fi
exit 0
