#!/usr/bin/env bash
# orvane-mapgen as an operator runs it: a command line that is incomplete or contradictory is
# refused with status 2 and writes nothing; a normal run, even with no desktop session (no
# XDG_RUNTIME_DIR), prints its result and no toolkit warning.
set -euo pipefail
program=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/run"
cd "$work/run"
failures=0

refused=(
    "--ul-lat 40.0012 --out user.bmp"
    "--ul-lat 40.0012 --ul-lon -75.2301 --lr-lat 39.9981 --out user.bmp"
    "--site 1 --ul-lat 40.0012 --ul-lon -75.2301 --lr-lat 39.9981 --lr-lon -75.2249 --out user.bmp"
    "--all maps --out user.bmp"
    "--all maps --format bmp8"
)
for arguments in "${refused[@]}"; do
    # shellcheck disable=SC2086
    if "$program" $arguments >/dev/null 2>"$work/err"; then status=0; else status=$?; fi
    if [ "$status" -ne 2 ] || [ -e user.bmp ] || [ -e maps ] || ! grep -q 'Usage: ' "$work/err"; then
        echo "FAILED: '$arguments' gave status $status, wrote $(ls | tr '\n' ' '), said: $(cat "$work/err")"
        failures=$((failures + 1))
        rm -rf user.bmp maps
    fi
done

env -u XDG_RUNTIME_DIR -u QT_QPA_PLATFORM "$program" --width 64 --height 48 --out small.bmp >"$work/out" 2>"$work/err"
if [ -s "$work/err" ] || ! grep -q '^small.bmp: 64 x 48, bmp24' "$work/out"; then
    echo "FAILED: a normal run said: $(cat "$work/out" "$work/err")"
    failures=$((failures + 1))
fi
# A picture that cannot be written: status 1 and the real cause.
ln -s /dev/full full.bmp
if "$program" --width 64 --height 48 --out full.bmp >/dev/null 2>"$work/err" ||
    ! grep -q 'full.bmp cannot be written: No space left on device' "$work/err"; then
    echo "FAILED: a write to a full device said: $(cat "$work/err")"
    failures=$((failures + 1))
fi
# The survey picture as imagery: a GeoTIFF in the site's UTM zone (18 north) with overviews, and
# MBTiles with lower zoom levels; gdalinfo (GDAL's own tool) reads them back.
"$program" --width 400 --height 300 --geotiff survey.tif --mbtiles survey.mbtiles >"$work/out" 2>"$work/err"
if [ -s "$work/err" ] || ! gdalinfo survey.tif >"$work/tif" 2>&1 || ! grep -q 'UTM zone 18N' "$work/tif" ||
    ! grep -q 'Overviews: ' "$work/tif" || ! gdalinfo survey.mbtiles >"$work/mb" 2>&1 ||
    ! grep -q 'Overviews: ' "$work/mb" || [ -e survey.tif.part ] || [ -e survey.mbtiles.part ]; then
    echo "FAILED: the imagery files: $(cat "$work/out" "$work/err" "$work/tif" "$work/mb" 2>/dev/null | head -40)"
    failures=$((failures + 1))
fi
# A folder that cannot be written to leaves no file and says why.
if "$program" --width 64 --height 48 --geotiff /proc/no/survey.tif >/dev/null 2>"$work/err" ||
    ! grep -q 'cannot write /proc/no/survey.tif' "$work/err"; then
    echo "FAILED: an unwritable GeoTIFF said: $(cat "$work/err")"
    failures=$((failures + 1))
fi
echo "orvane-mapgen command lines: $((${#refused[@]} + 4)) checked, $failures failed"
[ "$failures" -eq 0 ]
