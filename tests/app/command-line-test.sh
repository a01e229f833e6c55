#!/usr/bin/env bash
# Each bad value on the command line ends the program before anything starts, with a display and
# without one: exit status 2, the reason and the usage on the error output.
set -uo pipefail
program=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
export XDG_CONFIG_HOME="$dir/config"
failed=0
# One case a line: the reason expected, then the arguments separated by ";".
cases=(
    'not an IPv4 address|--aircraft;10.0.0.300'
    'not a number from 1 to 65535|--aircraft;127.0.0.1:70000'
    'not the address of one aircraft|--aircraft;0.0.0.0'
    'needs a value|--aircraft'
    'not an address of this computer|--listen;192.0.2.1'
    'neither an IPv4 address nor a host name|--listen;bad name'
    'not a number from 1 to 65535|--port;0'
    'not a number from 1 to 65535|--port;9001x'
    'goes with --screenshot|--after;3'
    'needs a number of seconds|--screenshot;x.png;--after;-1'
    'only one document file|a.orv;b.orv'
    # The toolkit's own option and its value are passed over, not taken for a document.
    'not a number from 1 to 65535|-platform;offscreen;--port;0'
)
for display in offscreen none; do
    for line in "${cases[@]}"; do
        expected=${line%%|*}
        IFS=';' read -ra words <<<"${line#*|}"
        if [ "$display" = none ]; then
            env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 30 "$program" "${words[@]}" \
                >"$dir/out" 2>"$dir/err"
        else
            QT_QPA_PLATFORM=offscreen timeout 30 "$program" "${words[@]}" >"$dir/out" 2>"$dir/err"
        fi
        status=$?
        if [ "$status" -ne 2 ] || ! grep -q -e "$expected" "$dir/err" || ! grep -q "^Usage: orvane" "$dir/err"; then
            echo "FAIL ($display): orvane ${words[*]} -> status $status, stderr:"
            cat "$dir/err"
            failed=1
        else
            echo "ok ($display): orvane ${words[*]} -> $(grep "^orvane:" "$dir/err")"
        fi
    done
done
exit $failed
