#!/usr/bin/env bash
# orvane-log's outputs when they cannot be written: every command, to the standard output and to a
# file, exits 1 and names the real cause; on a full or read-only file system the file that was
# there stays as it was. The full file system is a small tmpfs in a mount namespace of its own,
# skipped (status 77) where one cannot be mounted.
#   log_output_test.sh <orvane-log> <capture file>
set -uo pipefail
export QT_QPA_PLATFORM=offscreen
program=$(realpath "$1")
capture=$(realpath "$2")
full="No space left on device"

if [ "${INSIDE_SMALL_TMPFS:-}" = 1 ]; then
    folder=$3
    mount -t tmpfs -o size=256k tmpfs "$folder" || exit 77
    failures=0
    for output in old.csv old.svg old.png; do
        command=csv
        [ "$output" = old.csv ] || command=plot
        printf 'the file that was there\n' >"$folder/$output"
        cp "$folder/$output" "$folder/before"
        # Fill what is left.
        dd if=/dev/zero of="$folder/filler" bs=4k 2>/dev/null
        for cause in "$full" "Read-only file system"; do
            [ "$cause" = "$full" ] || mount -o remount,ro "$folder"
            if "$program" "$command" "$capture" -o "$folder/$output" 2>"$folder.err"; then status=0; else status=$?; fi
            if [ "$status" -ne 1 ] || ! grep -q "$output cannot be written: $cause" "$folder.err" ||
                ! cmp -s "$folder/$output" "$folder/before" || [ "$(ls "$folder" | wc -l)" -ne 3 ]; then
                echo "FAILED: $command -o $output on a file system with '$cause': status $status," \
                    "said: $(cat "$folder.err"), left: $(ls "$folder" | tr '\n' ' ')"
                failures=$((failures + 1))
            fi
        done
        mount -o remount,rw "$folder"
        rm -f "$folder/filler" "$folder/before" "$folder/$output"
    done
    exit $((failures > 0))
fi

work=$(mktemp -d)
trap 'rm -rf "$work" "$work.err"' EXIT
failures=0
checked=0
expect_failure() {  # expect_failure <what> <cause> <command...>: status 1 and the cause said
    local what=$1 cause=$2 status
    shift 2
    checked=$((checked + 1))
    if "$@" 2>"$work/err"; then status=0; else status=$?; fi
    if [ "$status" -ne 1 ] || ! grep -q "$cause" "$work/err"; then
        echo "FAILED: $what gave status $status, said: $(cat "$work/err")"
        failures=$((failures + 1))
    fi
}

to_full_device() { "$@" >/dev/full; }
for command in info csv gpx; do
    expect_failure "$command to a full standard output" "the standard output cannot be written: $full" \
        to_full_device "$program" "$command" "$capture"
    ln -sf /dev/full "$work/out.$command"
    expect_failure "$command -o a link to a full device" "out.$command cannot be written: $full" \
        "$program" "$command" "$capture" -o "$work/out.$command"
done
for picture in png svg; do
    ln -sf /dev/full "$work/out.$picture"
    expect_failure "plot -o a link to a full device ($picture)" "out.$picture cannot be written: $full" \
        "$program" plot "$capture" -o "$work/out.$picture"
done
rm -f "$work"/out.*
# Written whole, in place, and nothing left beside.
for output in info.txt plot.svg; do
    checked=$((checked + 1))
    command=${output%.*}
    if ! "$program" "$command" "$capture" -o "$work/$output" 2>"$work/err" || [ ! -s "$work/$output" ] ||
        [ "$(ls "$work" | grep -cv '^err$')" -ne 1 ]; then
        echo "FAILED: $command -o $output: $(cat "$work/err"), left: $(ls "$work" | tr '\n' ' ')"
        failures=$((failures + 1))
    fi
    rm -f "$work/$output"
done

mkdir "$work/small"
INSIDE_SMALL_TMPFS=1 unshare -m "$0" "$program" "$capture" "$work/small"
inside=$?
if [ "$inside" -eq 1 ]; then failures=$((failures + 1)); fi
echo "orvane-log outputs: $checked checked, $failures failed"
if [ "$inside" -eq 77 ] || [ "$inside" -gt 1 ]; then
    [ "$failures" -eq 0 ] || exit 1
    echo "SKIPPED: no small tmpfs can be mounted here (needs root): full and read-only file systems not tried"
    exit 77
fi
[ "$failures" -eq 0 ]
