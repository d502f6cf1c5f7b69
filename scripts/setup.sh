#!/usr/bin/env bash
# Installs, with apt-get, whatever building and testing Tavolix needs and is missing.
# Quick when everything is present: one dpkg query, no network.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
  # libraries
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-image-formats-plugins libicu-dev
  # the search of files by what they hold: regular expressions
  libpcre2-dev
  # the picture helper: SVG and SVGZ pictures, a PDF's first page
  qt6-svg-dev libpoppler-qt6-dev
  # the picture helper's PNG reader: whole-buffer inflate, twice zlib's speed
  libdeflate-dev
  # the picture helper's sandbox: its filter of system calls
  libseccomp-dev
  # the picture helper: HEIF and AVIF (libheif), cameras' raw files (LibRaw), videos
  # (FFmpeg's libraries); other programs' thumbnailers run in bubblewrap
  libheif-dev libraw-dev libavformat-dev libavcodec-dev libavutil-dev libswscale-dev bubblewrap
  # the tests make those files: heif-enc, avifenc, ffmpeg
  libheif-examples libavif-bin ffmpeg
  # GNOME's platform theme, which the helper must run under as the window does
  qt6-gtk-platformtheme
  libgtest-dev libgmock-dev libbenchmark-dev
  # fonts metric-compatible with the Japanese UI fonts
  fonts-ipafont-gothic fonts-ipafont-mincho
  # desktop opener, offscreen/X test tools, browser tests, benchmarks
  xdg-utils xvfb xauth chromium chromium-driver fd-find findutils python3 imagemagick
  # real wallpapers (SVG, PNG) of another project for the pictures view on a real desktop;
  # GLib's gio, which reads the thumbnail cache as the GNOME desktop does
  desktop-base libglib2.0-bin
  # manual pages, the Debian package and its checks
  scdoc dpkg-dev file fakeroot lintian desktop-file-utils appstream
  # a private session bus for the file-manager test, a pointer for trials under Xvfb
  dbus xdotool
  # the real-input suite: key presses (xdotool), window queries and a second
  # program (x11-utils: xprop, xmessage), a window manager (openbox), another
  # program that reads the clipboard (xclip)
  x11-utils openbox xclip
  # the same program as a Wayland client: Qt's Wayland plugin, a tiling compositor
  # that draws the titles (sway) and one whose programs draw their own (weston),
  # key presses (wtype), screenshots (grim) and another program that reads the
  # clipboard (wl-clipboard)
  qt6-wayland sway weston wtype grim wl-clipboard
  # the activation token handed to the programs it opens: the Wayland client
  # library, the protocol's description and Qt's native window handles
  libwayland-dev wayland-protocols qt6-base-private-dev
  # the tests run a second time in the user's settings
  locales tzdata
  # the word catalogues: lupdate and lrelease, their CMake functions, and Qt's
  # own translations (the toolkit's dialogs in Japanese)
  qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
  # a test file system whose folders stop answering, as a dead share
  python3-fuse fuse3
)

# The locales the tests run in besides C.UTF-8.
LOCALES=(ja_JP.UTF-8 de_DE.UTF-8 en_US.UTF-8)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
export DEBIAN_FRONTEND=noninteractive

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# locale -a writes ja_JP.utf8 for ja_JP.UTF-8.
have_locale() {
  local want
  want=$(echo "$1" | sed 's/UTF-8$/utf8/')
  locale -a 2>/dev/null | grep -qx "$want"
}
generate=0
for l in "${LOCALES[@]}"; do
  if ! have_locale "$l"; then
    generate=1
    if ! grep -qx "$l UTF-8" /etc/locale.gen 2>/dev/null; then
      # Uncomment the line when present, otherwise add it.
      if grep -qx "# $l UTF-8" /etc/locale.gen 2>/dev/null; then
        $SUDO sed -i "s/^# $l UTF-8\$/$l UTF-8/" /etc/locale.gen
      else
        echo "$l UTF-8" | $SUDO tee -a /etc/locale.gen >/dev/null
      fi
    fi
  fi
done
if [ $generate -eq 1 ]; then
  echo "setup: generating ${LOCALES[*]}"
  $SUDO locale-gen >/dev/null
fi

# Wayland compositors refuse to run as root: tests run as root start them,
# and the program on them, as this user.
if [ "$(id -u)" -eq 0 ] && ! id -u tavolix-wl >/dev/null 2>&1; then
  echo "setup: adding the user tavolix-wl"
  useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin tavolix-wl
fi
