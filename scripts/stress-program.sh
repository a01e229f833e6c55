#!/usr/bin/env bash
# Load and bad-input run against the real program under a virtual display, with figures:
#   scripts/stress-program.sh [build dir (build)] [storm seconds (60)] [program option...]
# 1. Starts orvane in a run folder (maps, a gain file of its own), with the given options (for
#    instance --no-record), and, for the given time, sends its telemetry port as many datagrams as
#    the machine manages: well-formed, truncated, oversize, random and hostile lines (tools/stress).
#    Meanwhile the program must stay up, keep its resident memory flat and repaint in every second.
#    Flat: after a warm-up, the least sample of the later half within 2 MiB of that of the earlier
#    half (one sample may catch a passing buffer); in a run of two minutes or more, where the
#    heap's swings are seen whole, a least-squares slope under 0.01 MiB a second after the first
#    minute.
# 2. Then a known line goes at 20 Hz; the operator's keys open Tuning > Control Gain and press
#    Enter, and the upload that comes back must equal, byte for byte, the one built from the gain
#    file; the program's own screenshot must match that of a fresh program fed the same line,
#    everywhere but the clock line and the link state with its rate.
# Exit status 0 only when every check holds. KEEP_RUN_FOLDER=1 keeps the pictures and logs.
set -euo pipefail
# Times and figures are read and written with a decimal point.
export LC_ALL=C
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$top/build}")
seconds=${2:-60}
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "storm seconds must be a whole number above 0" >&2; exit 2; }
program_options=("${@:3}")

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$seconds" "${program_options[@]}"
fi
for tool in xdotool; do
    command -v "$tool" >/dev/null || { echo "$tool is needed (scripts/install-deps.sh installs it)" >&2; exit 2; }
done
for program in orvane orvane-stress orvane-mapgen orvane-cockpit; do
    [ -x "$build/bin/$program" ] || { echo "$build/bin/$program is not built" >&2; exit 2; }
done

# Another program on the telemetry port would receive the storm instead (and the program here
# would show its bind error): say so rather than report the program's faults.
if command -v ss >/dev/null && ss -Hlun 'sport = :9001' | grep -q .; then
    echo "UDP port 9001 is already in use; the stress run needs it" >&2
    exit 2
fi

warmup=10
((seconds <= 2 * warmup)) && warmup=$((seconds / 2))
rss_limit_kib=2048
# Long runs: the slope of resident memory after the first minute, in MiB a second.
slope_from=60
slope_run=120
slope_limit=0.01
# The stressed program's screenshot comes this long after the storm, leaving time for the upload.
after_storm=10
fresh_after=5

run=$(mktemp -d "${TMPDIR:-/tmp}/orvane-stress.XXXXXX")
started_pids=()
cleanup() {
    local pid
    for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    if [ "${KEEP_RUN_FOLDER:-0}" = 1 ]; then echo "run folder kept: $run"; else rm -rf "$run"; fi
}
trap cleanup EXIT
"$top/scripts/lay-out-run-folder.sh" "$build" "$run"
# The settings profile goes to the run folder, not the user's own.
export XDG_CONFIG_HOME="$run/config"
# The flown track is history: the stressed program's holds the storm's positions, a fresh one's
# none. With it off, the two pictures show only the state of the last line, which must agree.
mkdir -p "$run/config/Local AppWizard-Generated Applications"
printf '[Flight]\nTrack=Off\n' >"$run/config/Local AppWizard-Generated Applications/Orvane.conf"
# Gains unlike the defaults, so an upload of the defaults cannot pass for this file's.
cat >"$run/gainsetting.txt" <<'EOF'
 0.3125  0.0625  0.0170 
 0.4000  0.0500  0.0200 
 0.7000  0.2000  0.0100 
 0.0900  0.1000  0.0300 
 0.2500  0.0100  0.0050 
EOF

now() { echo "$EPOCHREALTIME"; }
# Prefixes each line with the time it arrived, so a late report shows a stalled program.
stamp() { while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done; }
sleep_until() { local left; left=$(awk -v t="$1" -v n="$(now)" 'BEGIN { d = t - n; printf "%.3f", (d > 0 ? d : 0) }'); sleep "$left"; }
waited_exit() {  # waited_exit <pid> <seconds>: the exit status, or 124 after killing it when late
    local pid=$1 end=$((SECONDS + $2))
    while kill -0 "$pid" 2>/dev/null && ((SECONDS < end)); do sleep 0.2; done
    kill -0 "$pid" 2>/dev/null && { kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; return 124; }
    local status=0
    wait "$pid" || status=$?
    return "$status"
}
failures=()
fail() { failures+=("$1"); echo "FAILED: $1"; }

# --- The stressed program -------------------------------------------------------------------------
cd "$run"
start=$(now)
"$build/bin/orvane" "${program_options[@]}" --report-frames --screenshot "$run/stressed.png" --after $((seconds + after_storm + 3)) \
    > >(stamp >"$run/frames.log") 2>"$run/orvane-stressed.err" &
orvane_pid=$!
started_pids+=("$orvane_pid")
for _ in $(seq 100); do
    grep -q 'frames [1-9]' "$run/frames.log" 2>/dev/null && break
    sleep 0.1
done
grep -q 'frames [1-9]' "$run/frames.log" || { echo "the program showed no frame within 10 s" >&2; exit 1; }

storm_start=$(now)
"$build/bin/orvane-stress" send --storm-seconds "$seconds" --expect-gain-file "$run/gainsetting.txt" \
    --longest-known-seconds $((after_storm + 60)) >"$run/stress.log" 2>&1 &
stress_pid=$!
started_pids+=("$stress_pid")

: >"$run/rss.log"
alive=yes
for ((i = 1; i <= seconds; i++)); do
    sleep_until "$(awk -v s="$storm_start" -v i="$i" 'BEGIN { printf "%.6f", s + i }')"
    if ! kill -0 "$orvane_pid" 2>/dev/null; then alive=no; break; fi
    echo "$i $(awk '/^VmRSS:/ { print $2 }' "/proc/$orvane_pid/status")" >>"$run/rss.log"
done
storm_end=$(awk -v s="$storm_start" -v n="$seconds" 'BEGIN { printf "%.6f", s + n }')
[ "$alive" = yes ] || fail "the program died during the storm"

# --- The upload through the operator's keys -------------------------------------------------------
# Opens Tuning > Control Gain by its mnemonics and presses Enter, which uploads the first mode.
upload_with_keys() {
    local main_window dialog
    main_window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Orvane V1\.1' | head -1)
    [ -n "$main_window" ] || return 1
    timeout 10 xdotool windowfocus --sync "$main_window" || return 1
    timeout 10 xdotool key --clearmodifiers alt+t || return 1
    sleep 0.5
    timeout 10 xdotool key g || return 1
    dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Control Gain$' | head -1)
    [ -n "$dialog" ] || return 1
    timeout 10 xdotool windowfocus --sync "$dialog" || return 1
    sleep 0.3
    timeout 10 xdotool key Return
}
if [ "$alive" = yes ]; then
    sleep 2  # the known line is flowing, so the stress tool is the last telemetry sender
    upload_with_keys || fail "the Control Gain dialog could not be opened and confirmed with the keys"
fi

shot_status=0
waited_exit "$orvane_pid" $((after_storm + 60)) || shot_status=$?
[ "$shot_status" = 0 ] || fail "the stressed program's screenshot run ended with status $shot_status"
kill -TERM "$stress_pid" 2>/dev/null || true
stress_status=0
waited_exit "$stress_pid" 20 || stress_status=$?
[ "$stress_status" = 0 ] || fail "the upload check failed (stress tool status $stress_status)"

# --- A fresh program fed the same known line ------------------------------------------------------
"$build/bin/orvane" --screenshot "$run/fresh.png" --after "$fresh_after" >/dev/null 2>"$run/orvane-fresh.err" &
fresh_pid=$!
started_pids+=("$fresh_pid")
"$build/bin/orvane-stress" send --storm-seconds 0 --longest-known-seconds $((fresh_after + 60)) \
    >"$run/fresh-feed.log" 2>&1 &
feed_pid=$!
started_pids+=("$feed_pid")
fresh_status=0
waited_exit "$fresh_pid" $((fresh_after + 60)) || fresh_status=$?
kill -TERM "$feed_pid" 2>/dev/null || true
waited_exit "$feed_pid" 20 || true
[ "$fresh_status" = 0 ] || fail "the fresh program's screenshot run ended with status $fresh_status"

compare_line="not compared"
if [ -f "$run/stressed.png" ] && [ -f "$run/fresh.png" ]; then
    compare_status=0
    compare_line=$("$build/bin/orvane-stress" compare "$run/stressed.png" "$run/fresh.png" \
        --difference "$run/difference.png") || compare_status=$?
    [ "$compare_status" = 0 ] || fail "the stressed program's picture differs from the fresh one's"
else
    fail "a screenshot is missing"
fi

# --- Figures --------------------------------------------------------------------------------------
echo
echo "=== figures ($seconds s storm, run folder $run)"
grep -E '^storm' "$run/stress.log" || fail "the stress tool printed no storm figures"
rss_figures=$(awk -v w="$warmup" -v limit="$rss_limit_kib" -v from="$slope_from" -v long_run="$slope_run" \
    -v slope_limit="$slope_limit" -v seconds="$seconds" '
    NR == 1 { first = $2 } { last = $2 }
    $1 > w { if (n == 0 || $2 < min) min = $2; if (n == 0 || $2 > max) max = $2; kib[n++] = $2 }
    $1 > from { m++; sx += $1; sy += $2 / 1024; sxx += $1 * $1; sxy += $1 * $2 / 1024 }
    END {
        if (n == 0) { print "no samples after the warm-up"; exit 1 }
        printf "resident memory: first %.1f MiB, last %.1f MiB, after %d s warm-up min %.1f MiB, max %.1f MiB, spread %d KiB (%d samples)\n",
            first / 1024, last / 1024, w, min / 1024, max / 1024, max - min, n
        if (m >= 2 && m * sxx - sx * sx > 0) {
            slope = (m * sxy - sx * sy) / (m * sxx - sx * sx)
            printf "resident memory slope after %d s: %+.5f MiB/s (least squares over %d samples; limit %.2f in runs of %d s or more)\n",
                from, slope, m, slope_limit, long_run
        }
        if (seconds >= long_run) exit !(m >= 2 && slope < slope_limit)
        # Growth is a rising floor: the least sample of the later half against that of the earlier
        # one. A single sample that catches a passing buffer of the renderer is not growth.
        half = int(n / 2)
        for (i = 0; i < n; i++) {
            if (i < half && (i == 0 || kib[i] < early)) early = kib[i]
            if (i >= half && (i == half || kib[i] < late)) late = kib[i]
        }
        printf "resident memory floor: earlier half %.1f MiB, later half %.1f MiB, rise %d KiB (limit %d KiB)\n",
            early / 1024, late / 1024, late - early, limit
        exit !(half >= 1 && late - early <= limit)
    }' "$run/rss.log") || fail "resident memory grew during the storm"
echo "$rss_figures"
frame_figures=$(awk -v from="$storm_start" -v to="$storm_end" -v n="$seconds" '
    $2 == "frames" && $1 >= from && $1 <= to + 0.5 {
        if (have) {
            dt = $1 - t; dn = $3 - c
            if (dt > gap) gap = dt
            if (dn <= 0) still++
            rate[k++] = dn / dt
        }
        t = $1; c = $3; have = 1
    }
    END {
        if (k == 0) { print "no frame reports during the storm"; exit 1 }
        for (i = 0; i < k; i++) for (j = i + 1; j < k; j++) if (rate[j] < rate[i]) { x = rate[i]; rate[i] = rate[j]; rate[j] = x }
        printf "frames per second during the storm: min %.1f, median %.1f, max %.1f over %d one-second reports; longest gap between reports %.2f s; seconds without a repaint %d\n",
            rate[0], rate[int(k / 2)], rate[k - 1], k, gap, still
        exit !(still == 0 && gap < 1.5 && k >= n - 2)
    }' "$run/frames.log") || fail "the view did not repaint in every second of the storm"
echo "$frame_figures"
echo "program alive after the storm: $alive; its screenshot run ended with status $shot_status"
echo "$compare_line"
grep -E '^(upload|uplink)' "$run/stress.log" || echo "upload: nothing received"
echo
if [ ${#failures[@]} -eq 0 ]; then
    echo "stress: every check held"
    exit 0
fi
printf 'failed: %s\n' "${failures[@]}"
echo "stress: ${#failures[@]} check(s) failed"
KEEP_RUN_FOLDER=1
exit 1
