#!/usr/bin/env bash
# With --user-folder the program works in the user folder: flights are recorded into its flights/,
# while the paths on the command line are taken from the folder the command was typed in.
set -euo pipefail
program=$1
simulator=$2
dir=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$dir"' EXIT
mkdir "$dir/typed-here"
cd "$dir/typed-here"
export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data"
user="$XDG_DATA_HOME/orvane"

"$simulator" --duration 6 --quiet >/dev/null &
sim=$!
timeout 60 "$program" --user-folder --screenshot first.png --after 2
wait "$sim" || true
recordings=("$user"/flights/*.pcap)
[ -s "${recordings[0]}" ] || { echo "FAIL: no recording in $user/flights"; exit 1; }
[ ! -e flights ] || { echo "FAIL: a flights folder where the command was typed"; exit 1; }
[ -s first.png ] || { echo "FAIL: the screenshot is not where the command was typed"; exit 1; }
echo "recorded into $user/flights: $(basename "${recordings[0]}")"

# A recording only here, named relative to here.
mkdir here
mv "${recordings[0]}" here/flight.pcap
timeout 60 "$program" --user-folder --replay here/flight.pcap --screenshot second.png --after 1 2>"$dir/err" ||
    { echo "FAIL: replay run: status $?"; cat "$dir/err"; exit 1; }
if grep -q "flight.pcap" "$dir/err"; then echo "FAIL: the replay was refused:"; cat "$dir/err"; exit 1; fi
[ -s second.png ] || { echo "FAIL: no screenshot of the replay run"; exit 1; }
echo "replayed here/flight.pcap from where the command was typed"
