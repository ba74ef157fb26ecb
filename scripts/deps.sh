#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build, the program and the tests need; skips what is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  qt6-svg-dev
  libsndfile1-dev libpulse-dev
  libebur128-dev libaubio-dev libqm-dsp-dev libsamplerate0-dev libsqlite3-dev libhnswlib-dev
  libpq-dev postgresql-15 openssl
  libgtest-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  pulseaudio pulseaudio-utils sox libsox-fmt-base
  bs1770gain
  xvfb xauth xdotool
  binutils-mingw-w64-x86-64
  appstream desktop-file-utils dpkg-dev file lintian man-db python3-gi shared-mime-info
  dbus-x11 dbus-daemon fonts-dejavu-core
  at-spi2-core python3-pyatspi
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq "${missing[@]}"
