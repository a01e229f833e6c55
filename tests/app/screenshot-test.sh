#!/usr/bin/env bash
# Starts the program in an empty folder and checks that --screenshot writes a picture and ends it.
set -euo pipefail
program=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"
# The settings profile goes to the temporary folder, not the user's own.
export XDG_CONFIG_HOME="$dir/config"
timeout 60 "$program" --screenshot "$dir/frame.png" --after 1
# A PNG starts with its eight-byte signature.
[ "$(head -c 8 "$dir/frame.png" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ]
echo "screenshot written: $(stat -c %s "$dir/frame.png") bytes"
