#!/bin/sh
# The browser build's music is the desktop's: the show's two songs rendered
# for a minute each by the web libopenmpt (under node) and by Debian's must be
# the same samples, bit for bit. One program, tests/web/openmpt_render.cpp,
# built twice.
#
#   tests/web/openmpt_same.sh [BUILD_DIR [DEPS_PREFIX]]
# BUILD_DIR: a native build whose data/ holds the songs (default build/;
# make them with cmake --build BUILD_DIR --target data). DEPS_PREFIX: what
# tools/web/deps.sh built (default build-webdeps/).
set -eu
top=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$top/build}
deps=${2:-$top/build-webdeps}
seconds=60
songs="Tq_outro.xm VELTO63K.XM"

for song in $songs; do
  if [ ! -f "$build/data/$song" ]; then
    echo "openmpt_same: $build/data/$song is missing: cmake --build $build --target data" >&2
    exit 1
  fi
done
if [ ! -f "$deps/lib/libopenmpt.a" ]; then
  echo "openmpt_same: $deps/lib/libopenmpt.a is missing: tools/web/deps.sh $deps" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source=$top/tests/web/openmpt_render.cpp

# shellcheck disable=SC2046
c++ -std=c++20 -O2 -o "$work/render" "$source" $(pkg-config --cflags --libs libopenmpt)
# -O1: the library is already optimised, and the link's wasm-opt pass at -O2
# would take most of this test's time. -fexceptions: libopenmpt's errors are
# exceptions, caught here as the player catches them.
em++ -std=c++20 -O1 -fexceptions -I"$deps/include" -o "$work/render.js" "$source" \
  -L"$deps/lib" -lopenmpt -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1

failed=0
for song in $songs; do
  "$work/render" "$build/data/$song" $seconds "$work/desktop-$song.raw"
  node --no-experimental-fetch "$work/render.js" "$build/data/$song" $seconds "$work/web.raw"
  if result=$("$work/render" --compare "$work/desktop-$song.raw" "$work/web.raw"); then
    echo "openmpt_same: $song, $seconds s: identical ($result)"
  else
    echo "openmpt_same: $song, $seconds s: DIFFERENT: $result"
    failed=1
  fi
done
# The comparison itself tells two different songs apart.
if "$work/render" --compare "$work/desktop-Tq_outro.xm.raw" "$work/desktop-VELTO63K.XM.raw" >/dev/null; then
  echo "openmpt_same: the comparison finds the two songs identical" >&2
  failed=1
fi
exit $failed
