#!/bin/sh
# Installs every Debian package that building, running and testing need.
# Idempotent: packages already present are skipped, and nothing is fetched
# when all of them are there.
set -eu

packages="build-essential cmake pkg-config
  libsdl2-dev libopenmpt-dev openmpt123
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-dev libegl-mesa0
  libstb-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libpng-dev ffmpeg
  xvfb xauth xdotool x11-utils libx11-dev xfonts-base fonts-liberation
  libgtest-dev clang libclang-rt-14-dev
  dpkg-dev lintian desktop-file-utils groff-base man-db"

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing$missing"
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
