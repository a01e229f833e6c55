#!/usr/bin/env bash
# Starts the program in an empty folder and checks that --screenshot writes a picture and ends it,
# also when a box appears while it starts: one before the window exists (an aircraft address in the
# profile that cannot be used) and one after it was drawn (a recording to replay that is not there).
set -euo pipefail
program=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
# The settings profile goes to the temporary folder, not the user's own.
export XDG_CONFIG_HOME="$dir/config" XDG_DATA_HOME="$dir/data"
profile="$XDG_CONFIG_HOME/Local AppWizard-Generated Applications/Orvane.conf"
run() {
    local name=$1
    shift
    rm -f "$dir/frame.png"
    timeout 60 "$program" --screenshot frame.png --after 1 "$@" 2>"$dir/err" ||
        { echo "FAIL: $name: status $?"; cat "$dir/err"; exit 1; }
    # A PNG starts with its eight-byte signature.
    [ "$(head -c 8 "$dir/frame.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
        { echo "FAIL: $name: no picture"; exit 1; }
    echo "$name: screenshot written, $(stat -c %s "$dir/frame.png") bytes"
}
run "plain start"
# In the user folder, where the maps are: no other box comes first.
run "a recording that is not there" --user-folder --replay missing.pcap
grep -q "missing.pcap: cannot be opened" "$dir/err"
mkdir -p "$(dirname "$profile")"
printf '[Flight]\nAircraft%%20Address=10.0.0.300\n' >"$profile"
run "an unusable address in the profile"
grep -q "cannot be used" "$dir/err"

# A picture that does not fit on the disk: status 1 with the reason, and no picture file at all.
if ! unshare -m true 2>/dev/null; then
    echo "full disk: skipped, no mount namespace can be made here (it needs root)"
    exit 0
fi
mkdir "$dir/full"
unshare -m bash -c 'mount -t tmpfs -o size=64k tmpfs "$1" || exit 77
    head -c 1M /dev/zero >"$1/filler" 2>/dev/null
    timeout 60 "$2" --screenshot "$1/frame.png" --after 1 2>"$3/err"
    echo $? >"$3/status"
    ls "$1" >"$3/left"' _ "$dir/full" "$program" "$dir" && mounted=0 || mounted=$?
if [ "$mounted" -eq 77 ]; then
    echo "full disk: skipped, a tmpfs may not be mounted here"
    exit 0
fi
[ "$(cat "$dir/status")" = 1 ] || { echo "FAIL: full disk: status $(cat "$dir/status")"; cat "$dir/err"; exit 1; }
grep -q "could not write the screenshot .*frame.png: No space left on device" "$dir/err" ||
    { echo "FAIL: full disk: no reason given"; cat "$dir/err"; exit 1; }
[ "$(cat "$dir/left")" = filler ] || { echo "FAIL: full disk: left $(cat "$dir/left" | tr '\n' ' ')"; exit 1; }
echo "full disk: refused with the reason, nothing left behind"
