#!/usr/bin/env bash
# Runs orvane-bench, which prints every figure of the project against its target, in a run folder
# laid out as ./run.sh lays out run/. Arguments after the build dir go to orvane-bench (see --help).
#   bench/run-benchmarks.sh [build dir [orvane-bench options...]]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
shift || true
run=$(mktemp -d)
trap 'rm -rf "$run"' EXIT
scripts/lay-out-run-folder.sh "$build" "$run"
"$build/bin/orvane-bench" --run-folder "$run" "$@"
