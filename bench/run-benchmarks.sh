#!/usr/bin/env bash
# Runs every benchmark of the project and prints its figures: telemetry parsing and the receiver,
# frame drawing and font building (off-screen, Mesa's software renderer), and the whole program's
# start-up time to the first frame and resident memory (under Xvfb, in a laid-out run folder).
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
