#!/bin/sh
# Installs every Debian package that building, running and testing need.
# With --web, also the browser build's toolchain: emscripten, the browsers
# the page is tested in (chromium; firefox-esr, with pulseaudio for its sound
# under Xvfb), npm where it is missing, the browser tests' node packages
# (tools/web), and the deb-src line that tools/web/deps.sh fetches its
# sources with; and, since the whole suite (tools/test.sh) tests the
# Windows build too, what --windows installs. With --windows, the Windows
# build's cross compiler (MinGW-w64), Wine to test it in, and the same
# deb-src line, which tools/windows/deps.sh fetches its sources with.
# Idempotent: packages already present are skipped, and nothing is fetched
# when all of them are there. The packages it installs are recorded: --added
# lists those still installed, for apt-get remove.
set -eu

usage() {
  echo "usage: $0 [--web] [--windows] | --added"
}
# What this script installed, a package a line, so that it can be removed.
record=/var/lib/eyesonly/installed-packages
web=false
windows=false
for arg in "$@"; do
  case "$arg" in
    --web) web=true; windows=true ;;
    --windows) windows=true ;;
    --added)
      # The packages in the record that are still installed.
      [ -f "$record" ] || exit 0
      sort -u "$record" | while read -r p; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && echo "$p"
      done
      exit 0 ;;
    -h|--help) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
  esac
done

top=$(cd "$(dirname "$0")/.." && pwd)
if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

packages="build-essential cmake pkg-config
  libsdl2-dev libopenmpt-dev openmpt123
  libfreetype-dev libfontconfig-dev fonts-dejavu-core
  libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-dev libegl-mesa0
  libstb-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev libswresample-dev
  libpng-dev ffmpeg
  xvfb xauth xdotool x11-utils libx11-dev xfonts-base fonts-liberation
  libgtest-dev clang libclang-rt-14-dev
  dpkg-dev lintian desktop-file-utils groff-base man-db debootstrap"
updated=false

if $web; then
  packages="$packages emscripten chromium firefox-esr pulseaudio"
  # npm may come with a node of its own; Debian's goes with Debian's node.
  if ! command -v npm >/dev/null 2>&1; then
    packages="$packages npm"
  fi
fi
if $windows; then
  packages="$packages g++-mingw-w64-x86-64-posix wine wine64 unzip"
fi
if $web || $windows; then
  # apt-get source needs a deb-src line: one in a file of its own, from the
  # same package source as the machine's own packages (its release's main
  # suite), signed as apt already takes that source, and checked with apt
  # itself (apt-sources.sh takes the file out again where apt refuses it).
  sources=/etc/apt/sources.list.d/eyesonly-src.sources
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
  added=$($SUDO "$top/tools/apt-sources.sh" --add-deb-src "$codename" "$sources") || {
    echo "install-deps: cannot add Debian's source packages for $codename (above); apt is as it was" >&2
    exit 1
  }
  if [ "$added" = added ]; then
    echo "install-deps: added Debian's source packages ($sources)"
    $SUDO apt-get update -qq
    updated=true
  fi
fi

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -z "$missing" ]; then
  echo "install-deps: all packages present"
else
  echo "install-deps: installing$missing"
  if ! $updated; then
    $SUDO apt-get update -qq
  fi
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing
  $SUDO mkdir -p "$(dirname "$record")"
  printf '%s\n' $missing | $SUDO tee -a "$record" >/dev/null
fi

if $web; then
  # The browser tests' node packages, exactly as the lock file pins them;
  # a stamp in node_modules (which npm ci replaces whole) records which lock
  # file they came from.
  lock_sum=$(sha256sum "$top/tools/web/package-lock.json" | cut -d' ' -f1)
  npm_stamp=$top/tools/web/node_modules/.eyesonly-lock
  if [ -f "$npm_stamp" ] && [ "$(cat "$npm_stamp")" = "$lock_sum" ]; then
    echo "install-deps: node packages present"
  else
    echo "install-deps: installing node packages (tools/web)"
    npm ci --prefix "$top/tools/web" --no-audit --no-fund --loglevel=error
    echo "$lock_sum" >"$npm_stamp"
  fi
fi
