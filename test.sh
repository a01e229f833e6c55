#!/usr/bin/env bash
# Installs what is missing, builds and runs every test headless, and exits non-zero on any failure:
#   1. the normal build (warnings are errors) with every test under Xvfb, then a short load and
#      bad-input run against the running program, then the Debian package built and checked;
#   2. the tests built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the thread tests built with ThreadSanitizer;
#   4. each fuzz target for a bounded time (clang, libFuzzer).
# FUZZ_SECONDS (default 60) sets the time of each fuzz run.
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

scripts/install-deps.sh

build() {  # build <dir> [cmake options...]
    local dir=$1
    shift
    cmake -S "$top" -B "$top/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANE_WERROR=ON "$@" >/dev/null
    cmake --build "$top/$dir"
}

in_display() {  # runs a command with a virtual display
    xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
}

failed=0
passed_runs=0
failed_runs=0
step() {  # step <name> <command...>: runs one test stage, remembers its outcome
    local name=$1
    shift
    echo
    echo "=== $name"
    if "$@"; then
        passed_runs=$((passed_runs + 1))
    else
        echo "=== $name FAILED"
        failed_runs=$((failed_runs + 1))
        failed=1
    fi
}

build build
step "tests" in_display ctest --test-dir build --output-on-failure --timeout 300
step "stress run of the whole program" scripts/stress-program.sh build 15
step "Debian package, checked without installing it" scripts/check-package.sh build

build build-asan -DORVANE_ASAN_UBSAN=ON
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$top/scripts/lsan-suppressions.txt:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
step "tests with address and undefined-behaviour sanitizers" \
    in_display ctest --test-dir build-asan --output-on-failure --timeout 600 -LE program
# The programs with a real GL window load the system's GL driver, whose one-time allocations the
# leak checker cannot attribute (the driver's frames cannot be unwound); everything else is checked.
ASAN_OPTIONS="$ASAN_OPTIONS:detect_leaks=0" step "whole programs with address and undefined-behaviour sanitizers" \
    in_display ctest --test-dir build-asan --output-on-failure --timeout 600 -L program
unset ASAN_OPTIONS LSAN_OPTIONS UBSAN_OPTIONS

build build-tsan -DORVANE_TSAN=ON
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
step "thread tests with thread sanitizer" ctest --test-dir build-tsan --output-on-failure --timeout 600 -L 'unit|race'
unset TSAN_OPTIONS

CC=clang CXX=clang++ build build-fuzz -DORVANE_FUZZ=ON
step "fuzzing" scripts/run-fuzzers.sh build-fuzz "${FUZZ_SECONDS:-60}"

echo
echo "stages: $passed_runs passed, $failed_runs failed"
exit $failed
