#!/usr/bin/env bash
# Lays out the folder the program runs in: the map pictures of the three catalogue sites drawn by
# the project's map tool, the first site also as imagery to open with Flight > Open Map
# (survey-utm.tif, a GeoTIFF in UTM, and survey.mbtiles), the sites' made-up elevation tile, and
# "OpenGC.exe" as a link to the project's cockpit display.
#   scripts/lay-out-run-folder.sh <build dir> <run dir>
set -euo pipefail
build=$(realpath "$1")
run=$2
mkdir -p "$run"
run=$(realpath "$run")
for f in site1.bmp site2.bmp site3.bmp; do
    [ -f "$run/$f" ] || { "$build/bin/orvane-mapgen" --all "$run" >/dev/null; break; }
done
[ -f "$run/survey-utm.tif" ] && [ -f "$run/survey.mbtiles" ] ||
    "$build/bin/orvane-mapgen" --width 2967 --height 2478 --geotiff "$run/survey-utm.tif" \
        --mbtiles "$run/survey.mbtiles" >/dev/null
# The made-up terrain of the sites, which the program finds in elevation/ of its folder.
[ -f "$run/elevation/catalogue-terrain.tif" ] ||
    "$build/bin/orvane-demgen" --out "$run/elevation/catalogue-terrain.tif" >/dev/null
ln -sfn "$build/bin/orvane-cockpit" "$run/OpenGC.exe"
