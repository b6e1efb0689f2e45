#!/usr/bin/env bash
# Installs the Debian packages Sonalto needs to build, run and test.
# Idempotent and non-interactive: does nothing when everything is present.
set -euo pipefail

PACKAGES=(
  g++ cmake ninja-build make pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools qt6-l10n-tools libqt6svg6 qt6-qpa-plugins
  libpulse-dev pulseaudio pulseaudio-utils
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libsndfile1-dev
  lame vorbis-tools
  libx11-dev libxcb1-dev libxcb-xkb-dev libxcb-keysyms1-dev libxkbcommon-dev
  libgtest-dev
  xvfb xdotool x11-utils imagemagick trayer
  fonts-wqy-microhei
  xdg-utils dbus-x11 dbus-daemon at-spi2-core
  desktop-file-utils appstream dpkg-dev lintian
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
