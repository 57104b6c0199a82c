#!/bin/sh
# Builds the program and its data (no tests, no benchmarks) into build/ and
# plays the show. With no display to play it on (no X11 or Wayland session),
# it renders the show with its music to build/show.mp4 instead and says
# where the file is. Arguments are passed to the program.
set -eu
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEYESONLY_TESTS=OFF -DEYESONLY_BENCH=OFF >/dev/null
cmake --build build -j"$(nproc 2>/dev/null || echo 2)" --target eyesonly data showframe dib2ppm
cd build
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ "$#" -gt 0 ]; then
    exec ./eyesonly "$@"
fi
echo "run: no display here, so the show goes to a video file instead"
./eyesonly --capture show.mp4 --force
echo "run: the show is in $(pwd)/show.mp4"
