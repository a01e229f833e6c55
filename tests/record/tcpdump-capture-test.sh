#!/usr/bin/env bash
# Captures of the link made by tcpdump itself on loopback (Ethernet), on the "any" device (Linux
# cooked v2, and v1 when asked) are read by orvane-log: every line the simulator sent, none else.
# Skipped (77) where this user may not capture packets.
#   tcpdump-capture-test.sh <orvane-log> <orvane-sim>
set -euo pipefail
log=$1
sim=$2
port=9123  # not the telemetry port: the capture must not see other tests' traffic
dir=$(mktemp -d)
pids=()
trap 'kill -INT "${pids[@]}" 2>/dev/null || true; rm -rf "$dir"' EXIT
cd "$dir"

command -v tcpdump >/dev/null || { echo "tcpdump is missing (scripts/install-deps.sh installs it)"; exit 1; }
# A capture that may start waits for its packet until the time-out; one that may not ends at once.
status=0
timeout 1 tcpdump -i lo -c 1 -w /dev/null udp port 1 2>probe.err || status=$?
if [ "$status" -ne 124 ] && grep -qiE "permission|not permitted|don't have" probe.err; then
    echo "skipped: this user may not capture packets: $(head -n 1 probe.err)"
    exit 77
fi

declare -A links=([lo]="-i lo" [any]="-i any" [any1]="-i any -y LINUX_SLL")
declare -A names=([lo]="Ethernet" [any]="Linux cooked v2" [any1]="Linux cooked v1")
for capture in "${!links[@]}"; do
    # shellcheck disable=SC2086
    tcpdump ${links[$capture]} -U -w "$capture.pcap" udp port $port 2>"$capture.err" &
    pids+=($!)
done
for capture in "${!links[@]}"; do
    for _ in $(seq 50); do grep -q "listening on" "$capture.err" && break; sleep 0.1; done
done
"$sim" --port $port --duration 1.5 --quiet >sim.log
sent=$(awk '/^sent/ {print $2}' sim.log)
sleep 0.5
kill -INT "${pids[@]}"
wait "${pids[@]}" || true
pids=()

for capture in "${!links[@]}"; do
    info=$("$log" info --port $port "$capture.pcap")
    grep -q "^capture  *${names[$capture]}, telemetry to port $port" <<<"$info" || { echo "$info"; exit 1; }
    lines=$(awk '/^lines decoded/ {print $3}' <<<"$info")
    [ "$lines" -eq "$sent" ] || { echo "$capture: $lines lines of $sent sent"; echo "$info"; exit 1; }
    echo "$capture (${names[$capture]}): $lines of $sent lines"
done
