#!/usr/bin/env bash
# Installs what is missing, builds, lays out the run folder (run/) and starts the aircraft simulator
# and the ground station in it. Without a display, runs both under Xvfb for a while and writes a
# screenshot of the view to run/orvane-headless.png.
# Options after the command are passed to the simulator (see: build/bin/orvane-sim --help).
set -euo pipefail
cd "$(dirname "$0")"
top=$PWD

scripts/install-deps.sh
cmake -S "$top" -B "$top/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build"
scripts/lay-out-run-folder.sh "$top/build" "$top/run"

cd "$top/run"
"$top/build/bin/orvane-sim" "$@" &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    "$top/build/bin/orvane"
else
    echo "No display here: running the program under Xvfb for 10 seconds;"
    echo "its view is written to $top/run/orvane-headless.png."
    xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$top/build/bin/orvane" --screenshot "$top/run/orvane-headless.png" --after 10
fi
