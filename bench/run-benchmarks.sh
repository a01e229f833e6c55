#!/usr/bin/env bash
# Runs every benchmark of the project and prints its figures: telemetry parsing and the receiver,
# frame drawing and font building (off-screen, Mesa's software renderer), and the whole program's
# start-up time to the first frame and resident memory, and its CPU use idle and with 50 telemetry
# lines a second (under Xvfb, in a laid-out run folder).
#   bench/run-benchmarks.sh [build dir]   (default: build, as made by ./run.sh or ./test.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")

"$build/bin/orvane-bench"
echo
"$build/bin/orvane-bench-frame"
echo
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
scripts/lay-out-run-folder.sh "$build" "$run"
echo "== start-up: the program under Xvfb 1280x1024, three runs"
for _ in 1 2 3; do
    (cd "$run" && xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/orvane" --report-startup 2>/dev/null)
done

echo
echo "== CPU use of the running program (share of one core), 10 s each"
display=""
for n in $(seq 90 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || { display=":$n"; break; }
done
[ -n "$display" ] || { echo "no free display number"; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$run"' EXIT
sleep 1
(cd "$run" && DISPLAY=$display exec "$build/bin/orvane" 2>/dev/null) &
program=$!
ticks=$(getconf CLK_TCK)
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$program/stat"; }
share_over_10s() {
    local before after
    before=$(cpu_ticks)
    sleep 10
    after=$(cpu_ticks)
    awk -v d=$((after - before)) -v t="$ticks" 'BEGIN { printf "%.2f %% of a core\n", 100 * d / t / 10 }'
}
sleep 3
printf "idle, no telemetry:        "
share_over_10s
(cd "$run" && exec "$build/bin/orvane-sim" --rate 50 --duration 14 --quiet >/dev/null) &
sim=$!
sleep 2
printf "50 telemetry lines/second: "
share_over_10s
kill "$program" "$sim" 2>/dev/null || true
wait "$program" 2>/dev/null || true
