#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time each, starting from the committed seed
# corpus (copied, so the repository is never written). Exits non-zero on any crash, leak or
# sanitizer report.
#   scripts/run-fuzzers.sh <fuzz build dir> <seconds per target> [extra libFuzzer options...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=$2
shift 2

targets=$(find "$build/bin" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x | sort)
[ -n "$targets" ] || { echo "no fuzz targets in $build/bin"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in $targets; do
    name=$(basename "$target")
    seeds=fuzz/corpus/${name#fuzz_}
    mkdir -p "$work/$name"
    [ -d "$seeds" ] && cp -r "$seeds/." "$work/$name/"
    echo "--- $name for ${seconds}s"
    if ! "$target" -max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/$name-" \
        "$@" "$work/$name" 2>"$work/$name.log"; then
        tail -n 60 "$work/$name.log"
        status=1
    else
        grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' "$work/$name.log" || true
    fi
done
exit $status
