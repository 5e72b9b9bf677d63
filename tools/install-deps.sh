#!/bin/sh
# Installs the Debian packages the project needs, only those that are missing.
# Usage: tools/install-deps.sh [test]   ("test" adds what the test suite needs)
set -eu

pkgs="cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev
      libfltk1.3-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libosmesa6-dev
      portaudio19-dev libasound2-dev fonts-dejavu-core libpng-dev
      libsndfile1-dev libsoxr-dev
      libavcodec-dev libavfilter-dev libavformat-dev libavutil-dev libswscale-dev
      libswresample-dev liblo-dev"
if [ "${1:-}" = test ]; then
  pkgs="$pkgs xvfb xauth xdotool x11-utils imagemagick espeak-ng sox libsox-fmt-mp3 python3 locales
        clang libclang-rt-14-dev dpkg-dev desktop-file-utils libgtk2.0-0
        ffmpeg python3-numpy libespeak-ng1 pocketsphinx pocketsphinx-en-us ktuberling-data
        asterisk-core-sounds-en asterisk-core-sounds-en-g722 abigail-tools python3-matplotlib
        liblo-tools blender"
  # Node.js and npm may come from elsewhere than Debian (a machine's own Node.js bundles npm,
  # and Debian's npm package conflicts with it): only ask Debian for them when there is no npm.
  if ! command -v npm >/dev/null 2>&1; then
    pkgs="$pkgs nodejs npm"
  fi
fi

missing=""
for p in $pkgs; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing="$missing $p"
  fi
done
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi

if [ -n "$missing" ]; then
  echo "Installing:$missing"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi

# The mesh readers are tested under the users' own decimal-comma locale.
if [ "${1:-}" = test ] && ! locale -a 2>/dev/null | grep -qi '^hu_HU\.utf-\?8$'; then
  $sudo localedef -i hu_HU -f UTF-8 hu_HU.UTF-8
fi

