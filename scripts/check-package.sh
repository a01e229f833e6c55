#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it without installing it on this machine:
# its contents, the desktop entry (desktop-file-validate), the metainfo (appstreamcli), lintian
# (errors fail; warnings are printed), the manual pages, every program's command line with no
# display, and the first start from the menu into a temporary XDG_DATA_HOME where the operator
# already has a site1.bmp of their own.
#   scripts/check-package.sh [build dir]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$top/build}")

deb=$("$top/scripts/package-deb.sh" "$build" 2>/dev/null)
version=$(dpkg-deb -f "$deb" Version)
mapfile -t programs <"$build/installed-programs.txt"
echo "package: $deb (version $version; programs: ${programs[*]})"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

# Contents.
app_id=com.kestrix.orvane
expected=(
    usr/share/applications/$app_id.desktop
    usr/share/metainfo/$app_id.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/$app_id.svg
    usr/share/orvane/maps/site1.bmp usr/share/orvane/maps/site2.bmp usr/share/orvane/maps/site3.bmp
    usr/share/doc/orvane/changelog.gz usr/share/doc/orvane/copyright
)
for size in 48 64 128 256; do expected+=("usr/share/icons/hicolor/${size}x$size/apps/$app_id.png"); done
for program in "${programs[@]}"; do expected+=("usr/bin/$program" "usr/share/man/man1/$program.1.gz"); done
dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./||' >"$work/contents"
for path in "${expected[@]}"; do
    grep -qx -- "$path" "$work/contents" || fail "the package lacks $path"
done
for size in 48 64 128 256; do
    dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/share/icons/hicolor/${size}x$size/apps/$app_id.png" |
        file - | grep -q "PNG image data, $size x $size," || fail "the $size-pixel icon is not a $size x $size PNG"
done
echo "contents: ${#expected[@]} paths looked for"

root=$work/root
dpkg-deb -x "$deb" "$root"

desktop-file-validate "$root/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
# lintian refuses to run as root without this remark; errors fail, warnings are shown.
lintian --fail-on error --tag-display-limit 0 "$deb" 2>&1 | grep -v 'running with root privileges' || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"

for program in "${programs[@]}"; do
    page=$root/usr/share/man/man1/$program.1.gz
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null || echo "man failed")
    [ -z "$warnings" ] || fail "manual page of $program: $warnings"
done

"$top/scripts/check-command-lines.sh" "$root/usr/bin" "$version" "${programs[@]}" || fail "command lines"

# The first start from the menu, as the desktop entry starts it, with the operator's own site1.bmp.
exec_line=$(sed -n 's/^Exec=//p' "$root/usr/share/applications/$app_id.desktop")
[ "$exec_line" = "orvane --user-folder %f" ] || fail "the desktop entry starts '$exec_line'"
data=$work/data
mkdir -p "$data/orvane" "$work/home"
echo "the operator's own map" >"$data/orvane/site1.bmp"
start_from_menu() {
    local display=()
    [ -n "${DISPLAY:-}" ] || display=(xvfb-run -a -s "-screen 0 1280x1024x24")
    (cd "$work/home" && HOME="$work/home" XDG_DATA_HOME="$data" XDG_CONFIG_HOME="$work/home/config" \
        timeout 120 "${display[@]}" "$root/usr/bin/orvane" --user-folder --screenshot "$work/shot.png" --after 0.5 \
        2>"$work/orvane.err") || fail "orvane --user-folder ended with status $?: $(cat "$work/orvane.err")"
}
start_from_menu
[ "$(cat "$data/orvane/site1.bmp")" = "the operator's own map" ] || fail "the operator's site1.bmp was replaced"
for map in site2.bmp site3.bmp; do
    cmp -s "$data/orvane/$map" "$root/usr/share/orvane/maps/$map" || fail "$map was not laid out"
done
[ "$(readlink "$data/orvane/OpenGC.exe")" = "$root/usr/bin/orvane-cockpit" ] ||
    fail "OpenGC.exe is not a link to the installed cockpit display"
[ -s "$work/shot.png" ] || fail "the program started from the menu drew no picture"
# It worked in that folder: the start-up map (site3.bmp) is there and nowhere else it could look.
! grep -q "Loading the Navigation Map is failed!" "$work/orvane.err" ||
    fail "the program did not find its map in the per-user folder: $(cat "$work/orvane.err")"
# A second start changes nothing the operator has.
echo "the operator's own cockpit" >"$work/cockpit"
ln -sfn "$work/cockpit" "$data/orvane/OpenGC.exe"
start_from_menu
[ "$(readlink "$data/orvane/OpenGC.exe")" = "$work/cockpit" ] || fail "the operator's OpenGC.exe was replaced"
echo "first start from the menu: $(ls "$data/orvane" | tr '\n' ' ')"

echo "package checks: $failures failed"
[ "$failures" -eq 0 ]
