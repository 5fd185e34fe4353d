#!/usr/bin/env bash
# Installs every Debian package that building, testing and running Lystrel2 needs. Safe to run again.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libsndfile1-dev libmpg123-dev
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev
  libopenmpt-dev libsoundtouch-dev libsdl2-dev libkissfft-dev libpulse-dev libdbus-1-dev libspeexdsp-dev libfftw3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libxcb1-dev libxcb-record0-dev libxcb-keysyms1-dev libxcb-xtest0-dev
  xvfb xauth openbox xclip xdg-utils dpkg-dev fonts-noto-cjk espeak-ng ffmpeg
  mpg123 soundstretch
  clang libclang-rt-14-dev llvm
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libqt6svg6 appstream lintian
  libxcb-xinput-dev libevdev-dev udev
  pulseaudio pulseaudio-utils mpv
  dbus-daemon dbus-session-bus-common
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
