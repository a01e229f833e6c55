#!/usr/bin/env bash
# Each bad telemetry option ends the program before anything starts: exit status 2, the reason and
# the usage on the error output.
set -uo pipefail
program=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export XDG_CONFIG_HOME="$dir/config"
export QT_QPA_PLATFORM=offscreen
failed=0
check() {
    local expected=$1
    shift
    timeout 30 "$program" "$@" >"$dir/out" 2>"$dir/err"
    local status=$?
    if [ "$status" -ne 2 ] || ! grep -q "$expected" "$dir/err" || ! grep -q "^Usage: orvane" "$dir/err"; then
        echo "FAIL: orvane $* -> status $status, stderr:"; cat "$dir/err"; failed=1
    else
        echo "ok: orvane $* -> $(grep "^orvane:" "$dir/err")"
    fi
}
check 'not an IPv4 address' --aircraft 10.0.0.300
check 'not a number from 1 to 65535' --aircraft 127.0.0.1:70000
check 'not the address of one aircraft' --aircraft 0.0.0.0
check 'needs a value' --aircraft
check 'not an address of this computer' --listen 192.0.2.1
check 'neither an IPv4 address nor a host name' --listen 'bad name'
check 'not a number from 1 to 65535' --port 0
check 'not a number from 1 to 65535' --port 9001x
exit $failed
