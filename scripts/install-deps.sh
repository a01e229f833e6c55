#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Orvane need.
# Safe to run again: packages already present are left alone.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev libqt6opengl6-dev
  libgl-dev libglu1-mesa-dev libgl1-mesa-dri
  libfreetype-dev libfontconfig-dev fonts-urw-base35 fonts-dejavu-core
  libosmesa6-dev
  libgtest-dev
  libgeographiclib-dev libcanberra-dev sound-theme-freedesktop gpsbabel
  xvfb xauth xdotool
  locales
  clang libclang-rt-14-dev
  qt6-svg-dev qt6-qpa-plugins
  dpkg-dev file desktop-file-utils appstream lintian man-db strace
  libpcap-dev tcpdump
  libgdal-dev gdal-bin
  qt6-charts-dev
  libsqlite3-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
