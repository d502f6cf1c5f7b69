#!/usr/bin/env bash
# Installs, with apt-get, whatever building and testing Tavolix needs and is missing.
# Quick when everything is present: one dpkg query, no network.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  # libraries
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-image-formats-plugins libicu-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # fonts metric-compatible with the Japanese UI fonts
  fonts-ipafont-gothic fonts-ipafont-mincho
  # desktop opener, offscreen/X test tools, browser tests, benchmarks
  xdg-utils xvfb xauth chromium chromium-driver fd-find findutils python3 imagemagick
  # manual pages, the Debian package and its checks
  scdoc dpkg-dev file fakeroot lintian desktop-file-utils appstream
  # a private session bus for the file-manager test, a pointer for trials under Xvfb
  dbus xdotool
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
