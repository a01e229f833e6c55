#!/usr/bin/env bash
# Runs orvane-cockpit as the ground station starts it (program name "_spwanl", from another working
# directory) and checks that it renders a picture headless and exits by itself.
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

help=$("$program" --help)
grep -q -- '--screenshot' <<<"$help" || { echo "--help does not list the options"; exit 1; }
if "$program" --port 70000 --screenshot x.png 2>/dev/null; then echo "an invalid port was accepted"; exit 1; fi
if "$program" --after -1 --screenshot x.png 2>/dev/null; then echo "a negative delay was accepted"; exit 1; fi
if "$program" --after 1 2>/dev/null; then echo "a delay without a screenshot was accepted"; exit 1; fi

timeout 60 bash -c 'exec -a _spwanl "$0" --port 0 --screenshot "$1" --after 0.3' "$program" "$work/shot.png"
[ "$(head -c 8 "$work/shot.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] \
    || { echo "the screenshot is not a PNG file"; exit 1; }
echo "orvane-cockpit screenshot: 1 passed, 0 failed"
