#!/usr/bin/env bash
# The whole program records a simulator flight into flights/ of its working directory, closes the
# file on its way out, and records nothing with --no-record; the file is read by orvane-log and by
# tcpdump.
#   program-recording-test.sh <orvane> <orvane-sim> <orvane-log>
set -euo pipefail
orvane=$1
sim=$2
log=$3
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export XDG_CONFIG_HOME="$dir/config"

fly() {  # fly <folder> [orvane options]: 3 s of telemetry (to SIM_PORT) while the program runs for 5 s
    local folder=$1
    shift
    mkdir -p "$folder"
    (cd "$folder" && "$sim" --port "${SIM_PORT:-9001}" --rate 50 --duration 3 --quiet >sim.log 2>&1) &
    local sim_pid=$!
    (cd "$folder" && timeout 60 "$orvane" --screenshot shot.png --after 5 "$@")
    wait "$sim_pid"
}

fly "$dir/on"
files=("$dir"/on/flights/orvane-*Z.pcap)
[ ${#files[@]} -eq 1 ] && [ -f "${files[0]}" ] || { echo "expected one recording, found: ${files[*]}"; exit 1; }
file=${files[0]}
[[ $(basename "$file") =~ ^orvane-[0-9]{8}-[0-9]{6}Z\.pcap$ ]] || { echo "bad name $file"; exit 1; }

info=$("$log" info "$file")
echo "$info"
grep -q "^drops  *0$" <<<"$info"
lines=$(awk '/^lines decoded/ {print $3}' <<<"$info")
[ "$lines" -ge 50 ] || { echo "only $lines lines recorded"; exit 1; }
# Every line once, in the CSV as in the summary.
rows=$("$log" csv "$file" | wc -l)
[ $((rows - 1)) -eq "$lines" ] || { echo "$rows CSV rows for $lines lines"; exit 1; }

# tcpdump reads the same file as ordinary UDP to port 9001; the closing note is there too.
dump=$(tcpdump -nr "$file" 2>/dev/null)
[ "$(grep -c '> 127.0.0.1.9001: UDP, length' <<<"$dump")" -eq "$lines" ]
grep -q '127.0.0.1.9000 > 127.0.0.1.9000: UDP' <<<"$dump"

# A cut file is read up to the cut (status 0, the damage told); a file that is no capture is refused.
head -c $(($(stat -c %s "$file") - 7)) "$file" >"$dir/cut.pcap"
"$log" info "$dir/cut.pcap" 2>"$dir/cut.err" >/dev/null
grep -q "cut.pcap: the last record is cut short" "$dir/cut.err"
status=0
"$log" info "$0" 2>/dev/null || status=$?
[ "$status" -eq 1 ] || { echo "a file that is no capture gave status $status"; exit 1; }

# With --port the recording names that port: orvane-log finds the telemetry there untold, and
# tcpdump shows it going there.
SIM_PORT=9002 fly "$dir/port" --port 9002
ported=("$dir"/port/flights/orvane-*Z.pcap)
info=$("$log" info "${ported[0]}")
grep -q "telemetry to port 9002$" <<<"$info" || { echo "$info"; exit 1; }
[ "$(awk '/^lines decoded/ {print $3}' <<<"$info")" -ge 50 ] || { echo "$info"; exit 1; }
[ "$(tcpdump -nr "${ported[0]}" 2>/dev/null | grep -c '> 127.0.0.1.9002: UDP, length')" -ge 50 ]
# --port still overrides what the file says.
grep -q "^lines decoded  *0 " <<<"$("$log" info "${ported[0]}" --port 9001)"

fly "$dir/off" --no-record
[ ! -e "$dir/off/flights" ] || { echo "--no-record made $dir/off/flights"; exit 1; }
echo "recorded $lines lines; nothing with --no-record"
