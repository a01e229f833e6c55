#!/usr/bin/env bash
# Builds the Debian package orvane_<version>_amd64.deb from a build tree (default build/, configured
# and built here when needed) and prints its path.
#   scripts/package-deb.sh [build dir]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$top/build}")

[ -f "$build/CMakeCache.txt" ] ||
    cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" >/dev/null
# The files keep the permissions the install gives them, whatever the caller's umask.
(umask 022 && cd "$build" && cpack -G DEB -B "$build/package" >/dev/null)
ls "$build"/package/orvane_*_amd64.deb
